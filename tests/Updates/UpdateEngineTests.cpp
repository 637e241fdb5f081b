// The update engine end to end inside this process: a signed feed and archive
// served over HTTPS on loopback, an installed copy in the rig's temporary
// ~/Applications, the user's answers given by the test.
#include "AppUpdater/AppUpdater.h"
#include "AppUpdater/AppcastProbe.h"
#include "AppUpdater/UpdateInstaller.h"
#include "AppUpdater/UpdateSignature.h"

#include "Platform/Linux/LogindSleepWatcher.h"
#include "Platform/MemoryPreferencesStore.h"

#include "HttpsTestServer.h"
#include "ReleaseKey.h"
#include "TestSupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace AppUpdater;
using namespace std::chrono_literals;
namespace test = velmora::test;

namespace {

const QString oldBuild = "20200101000000";
const QString newBuild = "20991231000000";

QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

void setInfo(const QString& bundle, const QString& shortVersion, const QString& build)
{
    test::editBundleInfo(bundle, [&](QJsonObject& info) {
        info["CFBundleShortVersionString"] = shortVersion;
        info["CFBundleVersion"] = build;
    });
}

struct Release {
    QTemporaryDir work;
    test::HttpsTestServer server;
    test::ReleaseKey key;
    QString installed = env("HOME") + "/Applications/Velmora";
    QByteArray archive;
    velmora::platform::MemoryPreferencesStore defaults;
    QList<AppUpdater::AppUpdater::Offer> offers;
    QList<UpdateReply> replies;
    QStringList told;
    QStringList relaunched;
    std::optional<QString> blockReason;
    int raised = 0; // offers brought forward

    Release()
    {
        qputenv("SSL_CERT_FILE", server.caFile().toLocal8Bit());
        QDir(installed).removeRecursively();
        EXPECT_TRUE(test::installBundleCopy(installed));
        setInfo(installed, "1.0", oldBuild);
        const QString made = work.path() + "/Velmora";
        EXPECT_EQ(test::runProcess("cp", {"-a", test::bundleDir(), made}).exitCode, 0);
        setInfo(made, "2.0", newBuild);
        EXPECT_EQ(test::runProcess("tar", {"-C", work.path(), "-cf", work.path() + "/B.tar", "Velmora"}).exitCode, 0);
        archive = test::readFile(work.path() + "/B.tar");
        server.route("/B.tar", {200, archive});
        serveFeed(newBuild, archive.size(), key.sign(archive));
    }
    ~Release()
    {
        qunsetenv("SSL_CERT_FILE");
        QDir(installed).removeRecursively();
    }
    // The archive, signed with the right key, now holds a bundle of `build`; the feed still says new.
    void repackAs(const QString& build)
    {
        setInfo(work.path() + "/Velmora", "0.9", build);
        EXPECT_EQ(test::runProcess("tar", {"-C", work.path(), "-cf", work.path() + "/B.tar", "Velmora"}).exitCode, 0);
        archive = test::readFile(work.path() + "/B.tar");
        server.route("/B.tar", {200, archive});
        serveFeed(newBuild, archive.size(), key.sign(archive));
    }
    void serveFeed(const QString& build, qint64 length, const QString& signature)
    {
        server.route("/feed.xml", {200, test::releaseFeed(build, server.url("/B.tar").toString(), length, signature)});
    }
    std::unique_ptr<AppUpdater::AppUpdater> updater(QJsonObject info = {}, std::chrono::milliseconds interval = 1h)
    {
        if (info.isEmpty()) {
            info = test::bundleInfo(installed);
            info["SUFeedURL"] = server.url("/feed.xml").toString();
            info["SUPublicEDKey"] = key.publicKey();
        }
        AppUpdater::AppUpdater::Environment environment;
        environment.bundlePath = installed;
        environment.info = info;
        environment.defaults = &defaults;
        environment.checkInterval = interval;
        environment.skippedVersionKey = "velmora.updates.skippedVersion";
        environment.automaticChecksKey = "velmora.updates.automaticChecks";
        environment.lastCheckKey = "velmora.updates.lastCheck";
        environment.showOffer = [this](const AppUpdater::AppUpdater::Offer& offer, UpdateReply reply) {
            offers.append(offer);
            replies.append(std::move(reply));
        };
        environment.tell = [this](const QString& message) { told.append(message); };
        environment.raiseOffer = [this] { ++raised; };
        environment.relaunch = [this](const QString& staged) { relaunched.append(staged); };
        auto made = std::make_unique<AppUpdater::AppUpdater>(environment);
        made->installationBlockReason = [this] { return blockReason; };
        return made;
    }
    // Checks, answers the offer with Install, and waits until the engine tells why it did not install.
    void installUntilRefused(AppUpdater::AppUpdater& updater)
    {
        updater.checkForUpdates();
        ASSERT_TRUE(test::waitUntil([&] { return offers.size() == 1; }, 15s));
        replies.first()(UserUpdateChoice::install);
        ASSERT_TRUE(test::waitUntil([&] { return !told.isEmpty(); }, 60s));
        EXPECT_TRUE(relaunched.isEmpty());
    }
    QStringList leftovers() const
    {
        return QDir(env("HOME") + "/Applications")
            .entryList({UpdateInstaller::stagingPrefix + "*"}, QDir::Dirs | QDir::Files | QDir::Hidden);
    }
};

TEST(UpdateEngine, OffersTheNewerVersionAndStagesItForTheFinishingStep)
{
    Release release;
    auto updater = release.updater();
    EXPECT_TRUE(updater->canCheckForUpdates());
    EXPECT_TRUE(updater->automaticallyChecksForUpdates()) << "on unless the user turns it off";
    updater->checkForUpdates();
    ASSERT_TRUE(test::waitUntil([&] { return release.offers.size() == 1; }, 15s)) << release.told.join('\n').toStdString();
    const auto& offer = release.offers.first();
    EXPECT_EQ(offer.item.displayVersion, "2.0");
    EXPECT_EQ(offer.item.version, newBuild);
    EXPECT_EQ(offer.item.releaseNotes, "Faster dictation.");
    EXPECT_FALSE(offer.note.has_value()) << "this copy can replace itself";

    release.replies.first()(UserUpdateChoice::install);
    ASSERT_TRUE(test::waitUntil([&] { return release.relaunched.size() == 1 || !release.told.isEmpty(); }, 60s));
    ASSERT_EQ(release.relaunched.size(), 1) << release.told.join('\n').toStdString();
    const QString staged = release.relaunched.first();
    EXPECT_EQ(test::bundleInfo(staged).value("CFBundleShortVersionString").toString(), "2.0");
    EXPECT_EQ(test::bundleInfo(release.installed).value("CFBundleShortVersionString").toString(), "1.0")
        << "nothing is swapped before this copy has quit";
    EXPECT_EQ(release.server.requests("/feed.xml"), 2) << "Install asked the feed once more";
    QDir(QFileInfo(staged).absolutePath()).removeRecursively();
    EXPECT_TRUE(release.leftovers().isEmpty()) << "the download is gone";
}

// "Check for Updates…" with an offer on screen brings that window forward; a second
// window would leave the first one's Install answering an offer nobody waits for.
TEST(UpdateEngine, ACheckWhileAnOfferIsOpenBringsItForward)
{
    Release release;
    auto updater = release.updater();
    updater->checkForUpdates();
    ASSERT_TRUE(test::waitUntil([&] { return release.offers.size() == 1; }, 15s)) << release.told.join('\n').toStdString();
    updater->checkForUpdates();
    updater->checkForUpdates();
    // A check begins at once when it begins at all: the engine is busy from the call on.
    EXPECT_TRUE(updater->canCheckForUpdates()) << "no second check";
    EXPECT_EQ(release.offers.size(), 1);
    EXPECT_EQ(release.raised, 2);
    release.replies.first()(UserUpdateChoice::install);
    ASSERT_TRUE(test::waitUntil([&] { return release.relaunched.size() == 1 || !release.told.isEmpty(); }, 60s));
    ASSERT_EQ(release.relaunched.size(), 1) << "the first window's Install still works: " << release.told.join('\n').toStdString();
    QDir(QFileInfo(release.relaunched.first()).absolutePath()).removeRecursively();
}

// Refusals that lose nothing: the installed copy stays as it was, nothing is
// left beside it, and the next check offers the update again.
TEST(UpdateEngine, ARefusedInstallLeavesEverythingAsItWasAndIsOfferedAgain)
{
    struct Case {
        const char* name;
        std::function<void(Release&)> arrange;
        QString told;
        bool downloads;
    };
    const Case cases[] = {
        {"recording", [](Release& r) { r.blockReason = "Stop the active recording first."; },
         "Stop the active recording first.", false},
        {"transcribing", [](Release& r) { r.blockReason = "Wait for the current transcription to finish."; },
         "Wait for the current transcription to finish.", false},
        {"a transcript not yet saved",
         [](Release& r) { r.blockReason = "Save or copy your transcript, then clear it before installing the update."; },
         "Save or copy your transcript, then clear it before installing the update.", false},
        {"a bad signature", [](Release& r) { r.serveFeed(newBuild, r.archive.size(), r.key.sign("something else")); },
         "The downloaded update is not signed by Velmora's key; it was not installed.", true},
        {"a wrong length", [](Release& r) { r.serveFeed(newBuild, r.archive.size() + 10, r.key.sign(r.archive)); },
         "The downloaded update does not have the size the feed announced; it was not installed.", true},
        // Whoever holds the feed host can announce an old, genuinely signed archive as new.
        {"an older signed archive announced as new",
         [](Release& r) { r.repackAs(oldBuild); },
         "The downloaded update is not the version the feed announced (it says " + oldBuild + "); it was not installed.",
         true},
        {"a truncated download",
         [](Release& r) {
             r.server.route("/B.tar", {200, r.archive.left(r.archive.size() / 2), r.archive.size()});
         },
         "The update could not be downloaded. Check the connection and try again.", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Release release;
        c.arrange(release);
        const QByteArray before = test::readFile(release.installed + "/Resources/Info.json");
        auto updater = release.updater();
        release.installUntilRefused(*updater);
        EXPECT_EQ(release.told, QStringList{c.told});
        EXPECT_FALSE(updater->isInstallingUpdate());
        EXPECT_EQ(release.server.requests("/B.tar"), c.downloads ? 1 : 0);
        EXPECT_EQ(test::readFile(release.installed + "/Resources/Info.json"), before);
        EXPECT_TRUE(release.leftovers().isEmpty());
        updater->checkForUpdatesInBackground();
        EXPECT_TRUE(test::waitUntil([&] { return release.offers.size() == 2; }, 15s)) << "offered again";
    }
}

// An offer left on screen through a night's sleep: logind's word that the
// computer woke (on the rig's bus, from a stand-in that owns logind's name)
// looks at the feed again, and a newer version takes the old offer's place.
TEST(UpdateEngine, AnOfferPendingAcrossASleepIsLookedAtAgainOnWaking)
{
    Release release;
    auto updater = release.updater();
    velmora::platform::LogindSleepWatcher watcher(QDBusConnection::sessionBus());
    ASSERT_TRUE(watcher.isWatching());
    QObject::connect(&watcher, &velmora::platform::SleepWatcher::woke, updater.get(),
                     &AppUpdater::AppUpdater::refreshPendingOffer);
    int wakes = 0;
    QObject::connect(&watcher, &velmora::platform::SleepWatcher::woke, [&] { ++wakes; });

    QDBusConnection logind = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "logind-stand-in");
    QDBusConnection impostor = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "impostor");
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1")) << logind.lastError().message().toStdString();
    const auto prepareForSleep = [](QDBusConnection& from, bool starting) {
        QDBusMessage signal = QDBusMessage::createSignal("/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                                         "PrepareForSleep");
        signal << starting;
        EXPECT_TRUE(from.send(signal));
    };

    updater->checkForUpdatesInBackground();
    ASSERT_TRUE(test::waitUntil([&] { return release.offers.size() == 1; }, 15s));
    const QString newer = "20991231000001";
    release.serveFeed(newer, release.archive.size(), release.key.sign(release.archive));
    const int feedReads = release.server.requests("/feed.xml");

    prepareForSleep(logind, true); // going to sleep: nothing to do yet
    prepareForSleep(impostor, false); // not logind: ignored
    // The real wake, sent after both, is heard after them: had either counted, there would be two.
    prepareForSleep(logind, false);
    ASSERT_TRUE(test::waitUntil([&] { return release.offers.size() == 2; }, 15s)) << "the newer version is offered";
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(release.server.requests("/feed.xml"), feedReads + 2) << "for the one wake: a look at the feed, and the check it led to";
    EXPECT_EQ(release.offers.last().item.version, newer);
    release.replies.first()(UserUpdateChoice::install);
    // The newer offer's Install runs to its end; a download for the superseded answer would have begun first.
    release.replies.last()(UserUpdateChoice::install);
    ASSERT_TRUE(test::waitUntil([&] { return !release.relaunched.isEmpty() || !release.told.isEmpty(); }, 60s));
    EXPECT_EQ(release.server.requests("/B.tar"), 1) << "the superseded offer's answer installs nothing";
    for (const QString& staged : release.relaunched)
        QDir(QFileInfo(staged).absolutePath()).removeRecursively();
    logind.unregisterService("org.freedesktop.login1");
    QDBusConnection::disconnectFromBus("logind-stand-in");
    QDBusConnection::disconnectFromBus("impostor");
}

// A small tmpfs over ~/Applications stands for a disk that fills up on the way.
struct SmallDisk {
    QString at = env("HOME") + "/Applications";
    bool mounted = false;

    SmallDisk()
    {
        QDir().mkpath(at);
        mounted = test::runProcess("mount", {"-t", "tmpfs", "-o", "size=1g", "tmpfs", at}).exitCode == 0;
    }
    ~SmallDisk()
    {
        if (mounted)
            test::runProcess("umount", {"-l", at});
    }
    qint64 used() const { return test::runProcess("df", {"-B1", "--output=used", at}).standardOutput.split('\n').value(1).trimmed().toLongLong(); }
    // Leaves `room` bytes beyond what is on it now.
    bool leaveRoom(qint64 room) const
    {
        const qint64 size = (used() + room + 4095) / 4096 * 4096;
        return test::runProcess("mount", {"-o", "remount,size=" + QString::number(size), at}).exitCode == 0;
    }
};

TEST(UpdateEngine, ADiskThatFillsUpLosesNothing)
{
    struct Case {
        const char* name;
        double room; // in archives
        QString told;
    };
    const Case cases[] = {
        {"while downloading", 0.25, "The update could not be saved on this computer."},
        {"while unpacking", 1.5, "There is not enough disk space to unpack the update."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmallDisk disk;
        if (!disk.mounted)
            GTEST_SKIP() << "mounting a small tmpfs as a full disk needs root";
        Release release;
        ASSERT_TRUE(disk.leaveRoom(qint64(release.archive.size() * c.room)));
        const QList<QByteArray> before = test::runProcess("find", {release.installed, "-printf", "%P %s\n"})
                                       .standardOutput.split('\n');
        auto updater = release.updater();
        release.installUntilRefused(*updater);
        EXPECT_EQ(release.told, QStringList{c.told});
        EXPECT_EQ(test::runProcess("find", {release.installed, "-printf", "%P %s\n"}).standardOutput.split('\n'),
                  before);
        EXPECT_TRUE(release.leftovers().isEmpty()) << "the partial download and unpacking are gone";
        EXPECT_EQ(test::runProcess(release.installed + "/bin/velmora", {"--dump-runtime"}).exitCode, 0);
        updater->checkForUpdatesInBackground();
        EXPECT_TRUE(test::waitUntil([&] { return release.offers.size() == 2; }, 15s)) << "offered again";
    }
}

// Automatic checks: at launch and on each tick while the user allows them, never
// a second offer of the one on screen, and the tick looks at the pending offer.
TEST(UpdateEngine, ChecksAtLaunchAndOnEachTickWhileTheUserAllows)
{
    Release release;
    release.defaults.setBool("velmora.updates.automaticChecks", false);
    auto updater = release.updater({}, 300ms);
    auto* tick = updater->findChild<QTimer*>("updateCheckTimer");
    ASSERT_NE(tick, nullptr);
    int ticks = 0, checks = 0;
    QObject::connect(tick, &QTimer::timeout, [&] { ++ticks; }); // after the engine's own handler
    QObject::connect(updater.get(), &AppUpdater::AppUpdater::stateChanged, [&] {
        checks += !updater->canCheckForUpdates() && !updater->isInstallingUpdate() ? 1 : 0;
    });
    updater->start();
    ASSERT_TRUE(test::waitUntil([&] { return ticks >= 2; }, 15s));
    EXPECT_EQ(checks, 0) << "turned off: no check at launch or on a tick";
    EXPECT_EQ(release.server.requests("/feed.xml"), 0);
    EXPECT_FALSE(release.defaults.stringValue("velmora.updates.lastCheck").has_value());

    updater->setAutomaticallyChecksForUpdates(true);
    EXPECT_EQ(release.defaults.boolValue("velmora.updates.automaticChecks"), true);
    ASSERT_TRUE(test::waitUntil([&] { return release.offers.size() == 1; }, 15s)) << "the next tick checks";
    const auto checked = QDateTime::fromString(*release.defaults.stringValue("velmora.updates.lastCheck"), Qt::ISODate);
    EXPECT_LT(std::abs(checked.secsTo(QDateTime::currentDateTimeUtc())), 60);
    const int ticksBefore = ticks;
    const int checksBefore = checks;
    ASSERT_TRUE(test::waitUntil([&] { return ticks >= ticksBefore + 3; }, 15s));
    EXPECT_EQ(checks, checksBefore) << "the offer on screen is not checked for again";
    EXPECT_EQ(release.offers.size(), 1) << "nor offered again";

    release.serveFeed("20991231000001", release.archive.size(), release.key.sign(release.archive));
    ASSERT_TRUE(test::waitUntil([&] { return release.offers.size() == 2; }, 15s)) << "a tick finds the newer version";
    EXPECT_EQ(release.offers.last().item.version, "20991231000001");
    release.replies.last()(UserUpdateChoice::dismiss);
}

TEST(UpdateEngine, SkipUpToDateAndAnUnconfiguredBuild)
{
    Release release;
    auto updater = release.updater();
    updater->checkForUpdates();
    ASSERT_TRUE(test::waitUntil([&] { return release.offers.size() == 1; }, 15s));
    release.replies.first()(UserUpdateChoice::skip);
    EXPECT_EQ(release.defaults.stringValue("velmora.updates.skippedVersion"), newBuild);
    updater->checkForUpdatesInBackground();
    ASSERT_FALSE(updater->canCheckForUpdates()) << "the quiet check runs";
    ASSERT_TRUE(test::waitUntil([&] { return updater->canCheckForUpdates(); }, 15s));
    EXPECT_EQ(release.offers.size(), 1) << "a quiet check does not offer a skipped version";
    updater->checkForUpdates();
    EXPECT_TRUE(test::waitUntil([&] { return release.offers.size() == 2; }, 15s)) << "asking does";
    release.replies.last()(UserUpdateChoice::dismiss);

    // Nothing newer: only a check the user asked for says so.
    release.serveFeed(oldBuild, release.archive.size(), release.key.sign(release.archive));
    updater->checkForUpdates();
    ASSERT_TRUE(test::waitUntil([&] { return !release.told.isEmpty(); }, 15s));
    EXPECT_EQ(release.told, QStringList{"Velmora is up to date."});

    const auto plain = release.updater(test::bundleInfo(release.installed));
    EXPECT_FALSE(plain->canCheckForUpdates());
    EXPECT_EQ(plain->configurationError(), "Updates are not configured for this build.");
    EXPECT_FALSE(plain->automaticallyChecksForUpdates());
}

// The release tool: the archive signed with a key made here by OpenSSL's own
// command, and an item the engine reads and whose signature it accepts.
TEST(ReleaseFeed, SignsTheArchiveAndWritesAnItemTheEngineAccepts)
{
    QTemporaryDir dir;
    const QString key = dir.path() + "/release-key.pem";
    ASSERT_EQ(test::runProcess("openssl", {"genpkey", "-algorithm", "ed25519", "-out", key}).exitCode, 0);
    QDir().mkpath(dir.path() + "/Velmora/Resources");
    test::writeFile(dir.path() + "/Velmora/Resources/Info.json",
                    R"({"CFBundleShortVersionString": "2.0 \"beta\" & more", "CFBundleVersion": "20991231000000"})");
    const QString archive = dir.path() + "/Velmora-2.0-linux-x86_64.tar.xz";
    ASSERT_EQ(test::runProcess("tar", {"-C", dir.path(), "-cJf", archive, "Velmora"}).exitCode, 0);
    test::writeFile(dir.path() + "/notes.txt", "Faster <dictation> & fewer clicks.\n");
    const QString tool = QStringLiteral(VELMORA_SOURCE_DIR "/scripts/release-feed");
    const QString feed = dir.path() + "/feed.xml";

    const auto publicKey = test::runProcess(tool, {"--key", key, "--public-key"});
    ASSERT_EQ(publicKey.exitCode, 0) << publicKey.standardError.toStdString();
    const QString published = QString::fromLatin1(publicKey.standardOutput.trimmed());
    for (int round = 0; round < 2; ++round) {
        const auto written = test::runProcess(tool, {"--key", key, "--archive", archive, "--url",
                                                     "https://downloads.velmora.invalid/Velmora-2.0.tar.xz",
                                                     "--notes", dir.path() + "/notes.txt", "--feed", feed});
        ASSERT_EQ(written.exitCode, 0) << written.standardError.toStdString();
    }
    const auto item = AppcastProbe::newestItem(test::readFile(feed), SystemVersion::current());
    ASSERT_TRUE(item.has_value()) << test::readFile(feed).toStdString();
    EXPECT_EQ(item->version, "20991231000000");
    EXPECT_EQ(item->displayVersion, "2.0 \"beta\" & more");
    EXPECT_EQ(item->releaseNotes, "Faster <dictation> & fewer clicks.");
    EXPECT_EQ(item->enclosureURL, "https://downloads.velmora.invalid/Velmora-2.0.tar.xz");
    EXPECT_EQ(item->enclosureLength, QFileInfo(archive).size());
    ASSERT_TRUE(item->edSignature.has_value());
    EXPECT_EQ(UpdateSignature::verifyFile(archive, *item->edSignature, published, 1 << 20), std::nullopt);
    EXPECT_EQ(test::readFile(feed).count("<item>"), 2) << "each release adds its item";
}

} // namespace
