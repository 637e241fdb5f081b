#pragma once

#include "FeedItem.h"
#include "OfferGuardingUserDriver.h"
#include "UpdateOffer.h"
#include "UpdateConfiguration.h"
#include "UpdateOfferGuard.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace velmora::platform {
class PreferencesStore;
}

namespace AppUpdater {

class UpdateTransport;
struct SystemVersion;

// Velmora's own update engine: the feed checked at launch and every hour (when
// the user allows), the newest applicable item offered through the offer guard,
// and on Install the archive downloaded, its length and signature checked,
// unpacked and checked beside the bundle, and the finishing step handed the
// staged copy. A dictation that is running blocks the install, with its reason.
// Main thread; the unpacking runs on a worker and comes back through a queued call.
class AppUpdater : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY stateChanged)
    Q_PROPERTY(QString configurationError READ configurationError NOTIFY stateChanged)
    Q_PROPERTY(bool isInstallingUpdate READ isInstallingUpdate NOTIFY stateChanged)
public:
    using Offer = UpdateOffer;
    struct Environment {
        QString bundlePath;
        QJsonObject info; // Resources/Info.json
        velmora::platform::PreferencesStore* defaults = nullptr;
        // Shows an offer (the standard driver); the user's answer comes through `reply`, once.
        std::function<void(const Offer& offer, UpdateReply reply)> showOffer;
        // Brings the offer on screen to the front: a check asked for while one is open.
        std::function<void()> raiseOffer;
        // Tells the user something about a check or an install (up to date, a refusal, a failure).
        std::function<void(const QString& message)> tell;
        // Hands the checked, staged bundle to the finishing step and quits this copy.
        std::function<void(const QString& stagedBundle)> relaunch;
        std::function<SystemVersion()> systemVersion;
        std::chrono::milliseconds checkInterval{std::chrono::hours(1)};
        // Where the choices are kept (the application names its keys).
        QString skippedVersionKey, automaticChecksKey, lastCheckKey;
    };

    explicit AppUpdater(Environment environment, QObject* parent = nullptr);
    ~AppUpdater() override;

    bool canCheckForUpdates() const { return m_configuration.has_value() && !m_isChecking && !m_isInstallingUpdate; }
    QString configurationError() const { return m_configurationError; }
    bool isInstallingUpdate() const { return m_isInstallingUpdate; }
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool on);
    std::function<std::optional<QString>()> installationBlockReason;

    void start();
    void checkForUpdates();             // asked by the user: says so when there is nothing new
    void checkForUpdatesInBackground(); // quiet
    // The pending offer is looked at again (hourly, and when the computer wakes).
    void refreshPendingOffer();
    UpdateOfferGuard* offerGuard() const { return m_guard; }

signals:
    void stateChanged();

private:
    void check(bool interactive);
    void offer(const FeedItem& item, bool interactive);
    void answered(const FeedItem& item, UserUpdateChoice choice);
    void install(const FeedItem& item);
    void installFailed(const QString& message);
    void endSession();
    void setInstalling(bool installing);

    Environment m_environment;
    std::optional<UpdateConfiguration> m_configuration;
    QString m_configurationError;
    QString m_currentBuild;
    UpdateTransport* m_transport;
    UpdateOfferGuard* m_guard = nullptr;
    OfferGuardingUserDriver m_driver;
    QTimer m_checkTimer;
    bool m_started = false;
    bool m_isChecking = false;
    bool m_isInstallingUpdate = false;
    bool m_sessionOpen = false;
    quint64 m_installRun = 0;
};

} // namespace AppUpdater
