#include "TranscriptionNotificationService.h"

#include "Platform/TextDelivery.h"

namespace velmora {

using Notice = platform::NotificationCenter::Notice;
using Sound = platform::NotificationCenter::Sound;
using Authorization = platform::NotificationCenter::Authorization;

TranscriptionNotificationService::TranscriptionNotificationService(std::unique_ptr<platform::NotificationCenter> center,
                                                                   QObject* parent)
    : QObject(parent)
    , m_center(center ? std::move(center) : platform::TextDelivery::notifications())
{
}

TranscriptionNotificationService::~TranscriptionNotificationService() = default;

void TranscriptionNotificationService::deliver(const Notice& notice, Done done)
{
    // There is no prompt on this desktop: a service that runs or can be started is permission.
    m_center->authorization(this, [this, notice, done](std::optional<Authorization> authorization, const QString&) {
        if (authorization != Authorization::authorized) {
            if (done)
                done(false);
            return;
        }
        m_center->post(notice, this, [done](bool delivered) {
            if (done)
                done(delivered);
        });
    });
}

void TranscriptionNotificationService::notifyTranscriptionCompleted(bool wasCopiedToClipboard, Done done)
{
    deliver({title,
             wasCopiedToClipboard ? QStringLiteral("Transcription complete and copied to clipboard.")
                                  : QStringLiteral("Transcription complete."),
             QString(), Sound::standard},
            std::move(done));
}

void TranscriptionNotificationService::notifyRecordingDuration(int minutes, Done done)
{
    deliver({title, QStringLiteral("Recording is running for %1 minutes.").arg(minutes),
             QStringLiteral("duration-warning-%1").arg(minutes), Sound::standard},
            std::move(done));
}

void TranscriptionNotificationService::notifyModelUnavailable(const QString& message, Done done)
{
    deliver({title, message, QStringLiteral("model-unavailable"), Sound::none}, std::move(done));
}

void TranscriptionNotificationService::notifyPermissionEnabledProbe(Done done)
{
    deliver({title, QStringLiteral("Notifications are enabled."), QString(), Sound::standard}, std::move(done));
}

void TranscriptionNotificationService::ensureAuthorizationForPreferenceEnable(
    std::function<void(NotificationAuthorizationOutcome)> done)
{
    m_center->authorization(this, [done](std::optional<Authorization> authorization, const QString& failure) {
        using Kind = NotificationAuthorizationOutcome::Kind;
        if (!authorization)
            return done({Kind::failed, failure});
        done({*authorization == Authorization::authorized ? Kind::authorized : Kind::denied, {}});
    });
}

} // namespace velmora
