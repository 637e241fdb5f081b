#include "AppUpdater.h"

#include "AppcastProbe.h"
#include "UpdateInstaller.h"
#include "UpdateSignature.h"
#include "UpdateTransport.h"
#include "VersionComparator.h"

#include "Platform/PreferencesStore.h"

#include "Platform/Linux/FolderAccess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFutureWatcher>
#include <QPointer>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

namespace AppUpdater {

namespace {

// Why a staged bundle may not replace this copy, by the version it carries itself.
std::optional<QString> versionRefusal(const QString& stagedBundle, const QString& announced, const QString& current)
{
    QFile file(stagedBundle + QStringLiteral("/Resources/Info.json"));
    QString carried;
    if (file.open(QIODevice::ReadOnly))
        carried = QJsonDocument::fromJson(file.read(64 * 1024)).object().value(QStringLiteral("CFBundleVersion")).toString();
    if (carried.isEmpty() || carried != announced)
        return QStringLiteral("The downloaded update is not the version the feed announced (it says %1); it was not installed.")
            .arg(carried.isEmpty() ? QStringLiteral("nothing") : carried);
    if (!VersionComparator::isNewer(carried, current))
        return QStringLiteral("The downloaded update is not newer than this copy of Velmora; it was not installed.");
    return std::nullopt;
}

// A download is never larger than this, whatever the feed says.
constexpr qint64 largestArchive = qint64(2) << 30;

} // namespace

AppUpdater::AppUpdater(Environment environment, QObject* parent)
    : QObject(parent)
    , m_environment(std::move(environment))
    , m_transport(new UpdateTransport(this))
    , m_driver(m_environment.showOffer)
{
    if (!m_environment.systemVersion)
        m_environment.systemVersion = &SystemVersion::current;
    m_currentBuild = m_environment.info.value(QStringLiteral("CFBundleVersion")).toString(QStringLiteral("0"));
    m_configuration = UpdateConfiguration::fromInfo(m_environment.info);
    if (!m_configuration) {
        m_configurationError = UpdateConfiguration::notConfigured;
        return;
    }
    QPointer<AppUpdater> self(this);
    m_guard = new UpdateOfferGuard(
        [self](std::function<void(std::optional<QString>)> answer) {
            if (!self || !self->m_configuration) {
                answer(std::nullopt);
                return;
            }
            self->m_transport->fetchFeed(self->m_configuration->feedURL, [self, answer](std::optional<QByteArray> feed) {
                if (!self || !feed) {
                    answer(std::nullopt);
                    return;
                }
                answer(AppcastProbe::newestVersion(*feed, self->m_environment.systemVersion()));
            });
        },
        this);
    m_driver.guardOffer = [guard = QPointer<UpdateOfferGuard>(m_guard)](const FeedItem& item, UpdateReply reply) {
        return guard ? guard->guardOffer(*item.version, std::move(reply)) : reply;
    };
    m_checkTimer.setObjectName(QStringLiteral("updateCheckTimer"));
    m_checkTimer.setParent(this);
    m_checkTimer.setInterval(m_environment.checkInterval);
    connect(&m_checkTimer, &QTimer::timeout, this, [this] {
        if (automaticallyChecksForUpdates())
            checkForUpdatesInBackground();
        refreshPendingOffer();
    });
}

AppUpdater::~AppUpdater() = default;

bool AppUpdater::automaticallyChecksForUpdates() const
{
    if (!m_configuration || !m_environment.defaults || m_environment.automaticChecksKey.isEmpty())
        return false;
    return m_environment.defaults->boolValue(m_environment.automaticChecksKey).value_or(true);
}

void AppUpdater::setAutomaticallyChecksForUpdates(bool on)
{
    if (!m_environment.defaults || m_environment.automaticChecksKey.isEmpty())
        return;
    (void)m_environment.defaults->setBool(m_environment.automaticChecksKey, on);
    emit stateChanged();
}

void AppUpdater::start()
{
    if (m_started || !m_configuration)
        return;
    m_started = true;
    m_checkTimer.start();
    if (automaticallyChecksForUpdates())
        checkForUpdatesInBackground();
}

void AppUpdater::checkForUpdates()
{
    // One offer at a time: a second window would leave the first one's buttons
    // answering an offer nobody waits for any more.
    if (m_sessionOpen && !m_isInstallingUpdate) {
        if (m_environment.raiseOffer)
            m_environment.raiseOffer();
        return;
    }
    if (canCheckForUpdates())
        check(true);
}

void AppUpdater::checkForUpdatesInBackground()
{
    if (canCheckForUpdates() && !m_sessionOpen)
        check(false);
}

void AppUpdater::refreshPendingOffer()
{
    if (m_guard)
        m_guard->refresh();
}

void AppUpdater::check(bool interactive)
{
    m_isChecking = true;
    emit stateChanged();
    QPointer<AppUpdater> self(this);
    m_transport->fetchFeed(m_configuration->feedURL, [self, interactive](std::optional<QByteArray> feed) {
        if (!self)
            return;
        self->m_isChecking = false;
        emit self->stateChanged();
        if (self->m_environment.defaults && !self->m_environment.lastCheckKey.isEmpty())
            (void)self->m_environment.defaults->setString(self->m_environment.lastCheckKey,
                                                          QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        if (!feed) {
            if (interactive && self->m_environment.tell)
                self->m_environment.tell(QStringLiteral("Velmora could not reach its update feed. Try again later."));
            return;
        }
        const auto item = AppcastProbe::newestItem(*feed, self->m_environment.systemVersion());
        if (!item || !VersionComparator::isNewer(*item->version, self->m_currentBuild)) {
            if (interactive && self->m_environment.tell)
                self->m_environment.tell(QStringLiteral("Velmora is up to date."));
            return;
        }
        self->offer(*item, interactive);
    });
}

void AppUpdater::offer(const FeedItem& item, bool interactive)
{
    const auto skipped = m_environment.defaults && !m_environment.skippedVersionKey.isEmpty()
                             ? m_environment.defaults->stringValue(m_environment.skippedVersionKey)
                             : std::nullopt;
    if (!interactive && skipped && !VersionComparator::isNewer(*item.version, *skipped))
        return; // the user said no to this one; a quiet check does not ask again
    if (!m_environment.showOffer)
        return;
    m_sessionOpen = true;
    QPointer<AppUpdater> self(this);
    Offer shown{item, std::nullopt};
    if (!UpdateInstaller::canReplace(m_environment.bundlePath))
        shown.note = UpdateInstaller::replacementNote(m_environment.bundlePath);
    m_driver.showUpdateFound(shown, [self, item](UserUpdateChoice choice) {
        if (self)
            self->answered(item, choice);
    });
}

void AppUpdater::answered(const FeedItem& item, UserUpdateChoice choice)
{
    switch (choice) {
    case UserUpdateChoice::skip:
        if (m_environment.defaults && !m_environment.skippedVersionKey.isEmpty())
            (void)m_environment.defaults->setString(m_environment.skippedVersionKey, *item.version);
        endSession();
        return;
    case UserUpdateChoice::dismiss:
        endSession();
        return;
    case UserUpdateChoice::install:
        install(item);
        return;
    }
}

void AppUpdater::install(const FeedItem& item)
{
    if (installationBlockReason) {
        if (const auto reason = installationBlockReason()) {
            installFailed(*reason);
            return;
        }
    }
    if (!UpdateInstaller::canReplace(m_environment.bundlePath)) {
        installFailed(UpdateInstaller::replacementNote(m_environment.bundlePath));
        return;
    }
    if (!item.enclosureURL || !item.enclosureLength || !item.edSignature || *item.enclosureLength > largestArchive) {
        installFailed(QStringLiteral("The update feed does not say how to download this version safely."));
        return;
    }
    setInstalling(true);
    const quint64 run = ++m_installRun;
    // Downloaded beside the bundle, so unpacking and the swap stay on one file system.
    const QString archive = QFileInfo(m_environment.bundlePath).absolutePath() + QLatin1Char('/')
                            + UpdateInstaller::stagingPrefix + QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".download");
    QPointer<AppUpdater> self(this);
    m_transport->download(QUrl(*item.enclosureURL), *item.enclosureLength, archive,
                          [self, run, archive, item](std::optional<UpdateDownloadError> error) {
        if (!self || run != self->m_installRun)
            return;
        if (error) {
            self->installFailed(describe(*error));
            return;
        }
        const QString key = self->m_configuration->publicKey;
        const QString bundle = self->m_environment.bundlePath;
        auto* watcher = new QFutureWatcher<std::variant<QString, QString>>(self);
        connect(watcher, &QFutureWatcher<std::variant<QString, QString>>::finished, self, [self, watcher, run] {
            watcher->deleteLater();
            const auto outcome = watcher->result();
            if (run != self->m_installRun)
                return;
            if (const auto* message = std::get_if<1>(&outcome)) {
                self->installFailed(*message);
                return;
            }
            self->endSession();
            if (self->m_environment.relaunch)
                self->m_environment.relaunch(std::get<0>(outcome));
            // Still here long after the finishing step gave up waiting (the quit was refused):
            // nothing was swapped, and updating may be tried again.
            QTimer::singleShot(std::chrono::minutes(3), self, [self, run] {
                if (run == self->m_installRun)
                    self->setInstalling(false);
            });
        });
        // Checked before anything of it is unpacked; the archive goes either way.
        watcher->setFuture(QtConcurrent::run([archive, bundle, key, signature = *item.edSignature,
                                              length = *item.enclosureLength, announced = *item.version,
                                              current = self->m_currentBuild]() -> std::variant<QString, QString> {
            // One open file from the check to the unpacking: a name swapped in between changes nothing.
            const auto file = velmora::platform::FolderAccess::openFile(archive);
            QFile::remove(archive);
            if (!file)
                return std::variant<QString, QString>(std::in_place_index<1>, describe(UpdateSignatureError::unreadable));
            if (const auto verdict = UpdateSignature::verifyDescriptor(file.get(), signature, key, length))
                return std::variant<QString, QString>(std::in_place_index<1>, describe(*verdict));
            const auto staged = UpdateInstaller::stage(file.get(), bundle);
            if (const auto* failure = std::get_if<UpdateInstallError>(&staged))
                return std::variant<QString, QString>(std::in_place_index<1>, failure->description());
            // The signature covers the archive, not the feed's version: an old, genuinely
            // signed archive announced as new is told by the version it carries itself.
            const QString stagedBundle = std::get<QString>(staged);
            if (const auto refusal = versionRefusal(stagedBundle, announced, current)) {
                QDir(QFileInfo(stagedBundle).absolutePath()).removeRecursively();
                return std::variant<QString, QString>(std::in_place_index<1>, *refusal);
            }
            return std::variant<QString, QString>(std::in_place_index<0>, stagedBundle);
        }));
    });
}

void AppUpdater::installFailed(const QString& message)
{
    setInstalling(false);
    if (m_environment.tell)
        m_environment.tell(message);
    endSession();
}

void AppUpdater::setInstalling(bool installing)
{
    if (installing == m_isInstallingUpdate)
        return;
    m_isInstallingUpdate = installing;
    emit stateChanged();
}

void AppUpdater::endSession()
{
    m_sessionOpen = false;
    if (!m_guard)
        return;
    // A superseded offer arranged a new check: run it now, so the newer version is offered at once.
    const auto recheck = m_guard->sessionEnded();
    if (recheck == UpdateOfferGuard::Recheck::interactive)
        QTimer::singleShot(0, this, &AppUpdater::checkForUpdates);
    else if (recheck == UpdateOfferGuard::Recheck::background)
        QTimer::singleShot(0, this, &AppUpdater::checkForUpdatesInBackground);
}

} // namespace AppUpdater
