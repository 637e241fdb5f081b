#pragma once

#include "Platform/NotificationCenter.h"

#include <QObject>

#include <functional>
#include <memory>

namespace velmora {

struct NotificationAuthorizationOutcome {
    enum class Kind { authorized, denied, failed };
    Kind kind = Kind::denied;
    QString message; // for failed

    bool operator==(const NotificationAuthorizationOutcome&) const = default;
};

// Velmora's four notices. Every operation returns at once and answers later, on
// the main thread, whether the notice was handed to the desktop's service.
class TranscriptionNotificationService : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(bool delivered)>;

    static inline const QString title = QStringLiteral("Velmora");

    explicit TranscriptionNotificationService(std::unique_ptr<platform::NotificationCenter> center = {},
                                              QObject* parent = nullptr);
    ~TranscriptionNotificationService() override;

    void notifyTranscriptionCompleted(bool wasCopiedToClipboard, Done done = {});
    void notifyRecordingDuration(int minutes, Done done = {});
    void notifyModelUnavailable(const QString& message, Done done = {});
    void notifyPermissionEnabledProbe(Done done = {});
    void ensureAuthorizationForPreferenceEnable(std::function<void(NotificationAuthorizationOutcome)> done);

private:
    void deliver(const platform::NotificationCenter::Notice& notice, Done done);

    std::unique_ptr<platform::NotificationCenter> m_center;
};

} // namespace velmora
