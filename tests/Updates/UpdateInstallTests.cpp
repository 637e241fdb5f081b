// Installing an update over a real installed copy in the rig's temporary HOME:
// archives that must be refused leave the installed copy exactly as it was,
// and a sound one replaces the running copy after it has quit.
#include "AppUpdater/UpdateInstaller.h"

#include "Platform/Linux/ArchiveExtractor.h"
#include "Platform/Linux/FileDescriptor.h"

#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace AppUpdater;
using namespace std::chrono_literals;

namespace {

// The finishing step polls for the old copy with a short sleep: seen sleeping, it has reached its wait.
bool waitsForTheOldCopy(const QProcess& finisher)
{
    return test::readFile(QStringLiteral("/proc/%1/wchan").arg(finisher.processId())).contains("nanosleep");
}

// The finishing step run from the staged copy, seen waiting for `old`, a stand-in for the running copy.
::testing::AssertionResult startFinisherWaitingFor(QProcess& old, QProcess& finisher, const QString& stagedBundle,
                                                   const QString& installed)
{
    old.start("sleep", {"60"});
    if (!old.waitForStarted(5000))
        return ::testing::AssertionFailure() << "the stand-in did not start";
    finisher.start(stagedBundle + "/bin/velmora",
                   {"--finish-update", QString::number(old.processId()), stagedBundle, installed});
    if (!finisher.waitForStarted(5000))
        return ::testing::AssertionFailure() << "the finishing step did not start";
    if (!test::waitUntil([&] { return waitsForTheOldCopy(finisher); }, 15s))
        return ::testing::AssertionFailure() << "the finishing step never waited";
    return ::testing::AssertionSuccess();
}

QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

// A tar archive written by Python's tarfile, which writes whatever names it is told.
// Each entry: "file:NAME", "dir:NAME", "link:NAME:TARGET", "hard:NAME:TARGET", "fifo:NAME".
QString craftArchive(const QString& folder, const QStringList& entries)
{
    const QString path = folder + "/crafted.tar";
    const QString script = R"(
import io, sys, tarfile
with tarfile.open(sys.argv[1], "w") as archive:
    for spec in sys.argv[2:]:
        kind, name, *rest = spec.split(":")
        info = tarfile.TarInfo(name)
        data = b""
        if kind == "file":
            data = b"content"; info.size = len(data); info.mode = 0o755
        elif kind == "dir":
            info.type = tarfile.DIRTYPE; info.mode = 0o755
        elif kind == "link":
            info.type = tarfile.SYMTYPE; info.linkname = rest[0]
        elif kind == "hard":
            info.type = tarfile.LNKTYPE; info.linkname = rest[0]
        elif kind == "fifo":
            info.type = tarfile.FIFOTYPE
        archive.addfile(info, io.BytesIO(data))
)";
    const auto result = test::runProcess("python3", QStringList{"-c", script, path} + entries);
    EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
    return path;
}

// Every path under `folder`, relative, sorted: what a refusal must not change.
QStringList contents(const QString& folder)
{
    QStringList paths;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << QDir(folder).relativeFilePath(it.next());
    paths.sort();
    return paths;
}

TEST(ArchiveExtractor, RefusesEveryEntryThatCouldLandOutsideItsFolder)
{
    struct Case {
        const char* name;
        QStringList entries;
        std::optional<platform::ArchiveExtractionError::Kind> error;
    };
    using K = platform::ArchiveExtractionError::Kind;
    const Case cases[] = {
        {"a sound bundle", {"dir:Velmora", "dir:Velmora/bin", "file:Velmora/bin/velmora",
                            "file:Velmora/bin/libreal.so.1", "link:Velmora/bin/libreal.so:libreal.so.1"}, std::nullopt},
        {"a parent step", {"dir:Velmora", "file:Velmora/../escaped"}, K::outsideFolder},
        {"a parent step first", {"file:../escaped"}, K::outsideFolder},
        {"an absolute path", {"file:/tmp/escaped"}, K::outsideFolder},
        {"another top folder", {"dir:Velmora", "file:Other/x"}, K::outsideFolder},
        {"a file beside the folder", {"file:README"}, K::outsideFolder},
        {"a link out of the folder", {"dir:Velmora", "link:Velmora/evil:../../escaped"}, K::outsideFolder},
        {"a chain of links that climbs out", {"dir:Velmora", "link:Velmora/s:.", "link:Velmora/t:s/..",
                                              "link:Velmora/u:t/..", "link:Velmora/v:u/escaped"}, K::outsideFolder},
        {"a link down and back up", {"dir:Velmora", "dir:Velmora/bin", "link:Velmora/bin/lib:../lib"}, K::outsideFolder},
        {"an absolute link", {"dir:Velmora", "link:Velmora/evil:/etc/passwd"}, K::outsideFolder},
        {"a hard link", {"dir:Velmora", "file:Velmora/a", "hard:Velmora/b:Velmora/a"}, K::unsafeEntry},
        {"a fifo", {"dir:Velmora", "fifo:Velmora/pipe"}, K::unsafeEntry},
        {"the top folder a file", {"file:Velmora"}, K::unsafeEntry},
        {"the top folder a link", {"link:Velmora:Velmora"}, K::unsafeEntry},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir work;
        const QString archive = craftArchive(work.path(), c.entries);
        const QString destination = work.path() + "/out";
        QDir().mkpath(destination);
        const auto result = platform::ArchiveExtractor::extract(archive, destination, "Velmora");
        if (c.error) {
            ASSERT_TRUE(std::holds_alternative<platform::ArchiveExtractionError>(result));
            EXPECT_EQ(std::get<platform::ArchiveExtractionError>(result).kind, *c.error);
        } else {
            ASSERT_TRUE(std::holds_alternative<QString>(result));
            EXPECT_EQ(QFileInfo(destination + "/Velmora/bin/libreal.so").symLinkTarget(),
                      destination + "/Velmora/bin/libreal.so.1");
        }
        EXPECT_FALSE(QFile::exists(work.path() + "/escaped"));
        EXPECT_FALSE(QFile::exists("/tmp/escaped"));
    }

    // More than an update can be: too many bytes (also far into a sparse entry), or too many entries.
    {
        QTemporaryDir work;
        const QString archive = craftArchive(work.path(), {"dir:Velmora", "file:Velmora/a", "file:Velmora/b"});
        const platform::ArchiveExtractor::Limits limits[] = {{8, 100}, {1 << 20, 2}};
        for (const auto& limit : limits) {
            QDir(work.path() + "/out").removeRecursively();
            QDir().mkpath(work.path() + "/out");
            const auto result = platform::ArchiveExtractor::extract(archive, work.path() + "/out", "Velmora", limit);
            ASSERT_TRUE(std::holds_alternative<platform::ArchiveExtractionError>(result)) << limit.bytes << " " << limit.entries;
            EXPECT_EQ(std::get<platform::ArchiveExtractionError>(result).kind, K::tooLarge);
        }
        QDir(work.path() + "/out").removeRecursively();
        QDir().mkpath(work.path() + "/out");
        EXPECT_TRUE(std::holds_alternative<QString>(
            platform::ArchiveExtractor::extract(archive, work.path() + "/out", "Velmora", {1 << 20, 3})))
            << "just within both";
    }

    // A truncated archive, and something that is no archive at all.
    QTemporaryDir work;
    const QString sound = craftArchive(work.path(), {"dir:Velmora", "file:Velmora/a"});
    QByteArray bytes = test::readFile(sound);
    test::writeFile(work.path() + "/cut.tar", bytes.left(600));
    test::writeFile(work.path() + "/noise.tar", QByteArray(4096, 'x'));
    for (const char* name : {"/cut.tar", "/noise.tar"}) {
        QDir().mkpath(work.path() + "/out");
        const auto result = platform::ArchiveExtractor::extract(work.path() + name, work.path() + "/out", "Velmora");
        EXPECT_TRUE(std::holds_alternative<platform::ArchiveExtractionError>(result)) << name;
    }
}

// Installed copies and archives made from the build tree's bundle, with their own versions.
struct Bundles {
    QString applications = env("HOME") + "/Applications";
    QString installed = applications + "/Velmora";
    QTemporaryDir work;

    static void setVersion(const QString& bundle, const QString& version)
    {
        test::editBundleInfo(bundle, [&](QJsonObject& info) { info["CFBundleShortVersionString"] = version; });
    }
    static QString versionOf(const QString& bundle)
    {
        return test::bundleInfo(bundle).value("CFBundleShortVersionString").toString();
    }
    void install(const QString& version)
    {
        QDir(installed).removeRecursively();
        ASSERT_TRUE(test::installBundleCopy(installed));
        setVersion(installed, version);
    }
    // A tar archive of the bundle as Velmora/, changed by `edit` first.
    QString archive(const QString& version, const std::function<void(const QString&)>& edit = {})
    {
        const QString staging = work.path() + "/make-" + version;
        QDir(staging).removeRecursively();
        QDir().mkpath(staging);
        EXPECT_EQ(test::runProcess("cp", {"-a", test::bundleDir(), staging + "/Velmora"}).exitCode, 0);
        setVersion(staging + "/Velmora", version);
        if (edit)
            edit(staging + "/Velmora");
        const QString path = work.path() + "/Velmora-" + version + ".tar";
        QFile::remove(path);
        EXPECT_EQ(test::runProcess("tar", {"-C", staging, "-cf", path, "Velmora"}).exitCode, 0);
        return path;
    }
    QStringList leftovers() const
    {
        return QDir(applications).entryList({UpdateInstaller::stagingPrefix + "*"}, QDir::Dirs | QDir::Hidden);
    }
};

TEST(UpdateInstaller, ARefusedArchiveLeavesTheInstalledCopyAsItWas)
{
    Bundles bundles;
    bundles.install("1.0");
    const QStringList before = contents(bundles.installed);
    struct Case {
        const char* name;
        std::function<QString()> archive;
        UpdateInstallError::Kind kind;
    };
    const Case cases[] = {
        {"a path that leaves its folder",
         [&] { return craftArchive(bundles.work.path(), {"dir:Velmora", "file:Velmora/../../escaped"}); },
         UpdateInstallError::Kind::unpackFailed},
        {"a bundle without its live tool",
         [&] { return bundles.archive("2.0", [](const QString& b) {
                   QFile::remove(b + "/Resources/WhisperRuntime/bin/whisper-stream");
               }); },
         UpdateInstallError::Kind::incompleteBundle},
        {"a bundle whose program does not start",
         [&] { return bundles.archive("2.1", [](const QString& b) {
                   QFile::remove(b + "/bin/velmora");
                   test::writeScript(b + "/bin/velmora", "exit 1\n");
               }); },
         UpdateInstallError::Kind::bundleDoesNotRun},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = UpdateInstaller::stage(c.archive(), bundles.installed);
        ASSERT_TRUE(std::holds_alternative<UpdateInstallError>(result));
        EXPECT_EQ(std::get<UpdateInstallError>(result).kind, c.kind);
        EXPECT_FALSE(std::get<UpdateInstallError>(result).description().isEmpty());
        EXPECT_EQ(contents(bundles.installed), before);
        EXPECT_EQ(Bundles::versionOf(bundles.installed), "1.0");
        EXPECT_TRUE(bundles.leftovers().isEmpty()) << "no staging folder is left";
        EXPECT_FALSE(QFile::exists(bundles.applications + "/escaped"));
    }

    // Killed while unpacking: the next start removes what was left.
    QDir().mkpath(bundles.applications + "/" + UpdateInstaller::stagingPrefix + "killed/Velmora/bin");
    UpdateInstaller::removeLeftovers(bundles.installed);
    EXPECT_TRUE(bundles.leftovers().isEmpty());
    EXPECT_EQ(contents(bundles.installed), before);
}

// Where another user or group can write, they could swap the verified archive or the staged
// copy before the swap: such a copy does not update itself, and says how to make it able to.
TEST(UpdateInstaller, DoesNotReplaceItselfWhereOthersCanWrite)
{
    Bundles bundles;
    bundles.install("1.0");
    const QString archive = bundles.archive("2.0");
    struct Case {
        const char* name;
        QString path;
        std::function<void(const QString&)> open;
        std::function<void(const QString&)> close;
    };
    const auto mode = [](mode_t m) { return [m](const QString& path) { ASSERT_EQ(::chmod(qPrintable(path), m), 0); }; };
    const auto owner = [](uid_t uid) { return [uid](const QString& path) { ASSERT_EQ(::chown(qPrintable(path), uid, -1), 0); }; };
    const Case cases[] = {
        {"its folder writable by the group", bundles.applications, mode(0775), mode(0755)},
        {"its folder writable by all, even with the sticky bit", bundles.applications, mode(01777), mode(0755)},
        {"the bundle writable by all", bundles.installed, mode(0757), mode(0755)},
        {"its folder owned by another user", bundles.applications, owner(4242), owner(::geteuid())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(UpdateInstaller::canReplace(bundles.installed));
        c.open(c.path);
        EXPECT_FALSE(UpdateInstaller::canReplace(bundles.installed));
        EXPECT_EQ(UpdateInstaller::replacementNote(bundles.installed),
                  QString("Velmora does not update itself in %1: others can write to %2 and could swap the update for "
                          "a program of theirs. Make %2 yours and writable only by you (chmod go-w), or install the "
                          "update yourself.").arg(bundles.installed, c.path));
        const auto staged = UpdateInstaller::stage(archive, bundles.installed);
        ASSERT_TRUE(std::holds_alternative<UpdateInstallError>(staged));
        EXPECT_EQ(std::get<UpdateInstallError>(staged).kind, UpdateInstallError::Kind::notReplaceable);
        EXPECT_TRUE(bundles.leftovers().isEmpty());
        c.close(c.path);
    }
    EXPECT_TRUE(UpdateInstaller::canReplace(bundles.installed));
}

// What was opened (and verified) is what is unpacked, whatever the name points at by then.
TEST(UpdateInstaller, UnpacksTheArchiveItHasOpenNotWhatItsNameLaterPointsAt)
{
    Bundles bundles;
    bundles.install("1.0");
    const QString verified = bundles.archive("2.0");
    platform::FileDescriptor file(::open(qPrintable(verified), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(file);
    const QString other = bundles.archive("6.6");
    ASSERT_EQ(::rename(qPrintable(other), qPrintable(verified)), 0);
    const auto staged = UpdateInstaller::stage(file.get(), bundles.installed);
    ASSERT_TRUE(std::holds_alternative<QString>(staged)) << std::get<UpdateInstallError>(staged).description().toStdString();
    EXPECT_EQ(Bundles::versionOf(std::get<QString>(staged)), "2.0");
    QDir(QFileInfo(std::get<QString>(staged)).absolutePath()).removeRecursively();
}

// The finishing step swaps in the folder it opened before it waited, and only while that
// folder is still this user's alone.
TEST(UpdateInstaller, TheFinishingStepSwapsInTheFolderItOpenedWhileItIsStillOurs)
{
    struct Case {
        const char* name;
        bool moveTheFolder; // else: the folder becomes writable by the group
    };
    for (const Case c : {Case{"the folder moved away and another put in its place", true},
                         Case{"the folder made writable by the group", false}}) {
        SCOPED_TRACE(c.name);
        Bundles bundles;
        bundles.install("1.0");
        auto staged = UpdateInstaller::stage(bundles.archive("2.0"), bundles.installed);
        ASSERT_TRUE(std::holds_alternative<QString>(staged));
        const QString stagedBundle = std::get<QString>(staged);
        QProcess old;
        QProcess finisher;
        ASSERT_TRUE(startFinisherWaitingFor(old, finisher, stagedBundle, bundles.installed));
        const QString moved = bundles.applications + "-moved";
        if (c.moveTheFolder) {
            ASSERT_EQ(::rename(qPrintable(bundles.applications), qPrintable(moved)), 0);
            ASSERT_TRUE(QDir().mkpath(bundles.installed)) << "a decoy where the bundle was";
        } else {
            ASSERT_EQ(::chmod(qPrintable(bundles.applications), 0775), 0);
        }
        old.kill();
        old.waitForFinished(5000);
        ASSERT_TRUE(finisher.waitForFinished(20000));
        if (c.moveTheFolder) {
            EXPECT_EQ(Bundles::versionOf(moved + "/Velmora"), "2.0") << "swapped where it was opened";
            EXPECT_TRUE(QDir(bundles.installed).isEmpty()) << "the decoy is untouched";
            QDir(moved).removeRecursively();
        } else {
            EXPECT_EQ(finisher.exitCode(), 4);
            EXPECT_EQ(Bundles::versionOf(bundles.installed), "1.0");
            EXPECT_TRUE(bundles.leftovers().isEmpty());
            ASSERT_EQ(::chmod(qPrintable(bundles.applications), 0755), 0);
            // The old copy had quit: the copy left in place comes back.
            const QString executable = bundles.installed + "/bin/velmora";
            EXPECT_TRUE(test::waitUntil([&] { return !test::processesRunning(executable).isEmpty(); }, 10s));
            EXPECT_TRUE(test::waitUntil([&] {
                test::runProcess(executable, {"--quit"});
                return test::processesRunning(executable).isEmpty();
            }, 20s));
        }
        QDir(bundles.applications).removeRecursively();
    }
}

// The finishing step killed while it waits for the old copy: nothing was
// swapped, and the next start removes the staged copy.
TEST(UpdateInstaller, AFinishingStepKilledBeforeTheSwapChangesNothing)
{
    Bundles bundles;
    bundles.install("1.0");
    const QStringList before = contents(bundles.installed);
    auto staged = UpdateInstaller::stage(bundles.archive("2.0"), bundles.installed);
    ASSERT_TRUE(std::holds_alternative<QString>(staged));
    const QString stagedBundle = std::get<QString>(staged);
    QProcess old;
    QProcess finisher;
    ASSERT_TRUE(startFinisherWaitingFor(old, finisher, stagedBundle, bundles.installed));
    finisher.kill();
    ASSERT_TRUE(finisher.waitForFinished(5000));
    old.kill();
    old.waitForFinished(5000);
    EXPECT_EQ(contents(bundles.installed), before);
    EXPECT_EQ(Bundles::versionOf(bundles.installed), "1.0");
    EXPECT_EQ(test::runProcess(bundles.installed + "/bin/velmora", {"--dump-runtime"}).exitCode, 0);
    EXPECT_EQ(bundles.leftovers().size(), 1);
    UpdateInstaller::removeLeftovers(bundles.installed);
    EXPECT_TRUE(bundles.leftovers().isEmpty());
    QDir(bundles.installed).removeRecursively();
}

// From version A to version B while A runs: B starts only once A has quit, A is
// gone, and the user's data is untouched. A quit that never comes swaps nothing.
TEST(UpdateInstaller, ReplacesTheRunningCopyAfterItHasQuit)
{
    Bundles bundles;
    bundles.install("1.0");
    const QString executable = bundles.installed + "/bin/velmora";
    const QString preferences = env("XDG_CONFIG_HOME") + "/Velmora/preferences.json";
    QDir().mkpath(QFileInfo(preferences).absolutePath());
    test::writeFile(preferences, R"({"velmora.language": "de"})");

    QProcess a;
    a.start(executable, {});
    ASSERT_TRUE(a.waitForStarted(5000));
    QByteArray said;
    ASSERT_TRUE(test::waitUntil([&] { return (said += a.readAllStandardError()).contains("Velmora is running"); }, 15s))
        << said.toStdString();

    // A quit that does not come (a dictation began): nothing is swapped.
    const QString archive = bundles.archive("2.0");
    auto staged = UpdateInstaller::stage(archive, bundles.installed);
    ASSERT_TRUE(std::holds_alternative<QString>(staged)) << std::get<UpdateInstallError>(staged).description().toStdString();
    EXPECT_EQ(UpdateInstaller::finish(a.processId(), std::get<QString>(staged), bundles.installed, 500ms), 3);
    EXPECT_EQ(Bundles::versionOf(bundles.installed), "1.0");
    EXPECT_TRUE(bundles.leftovers().isEmpty());
    EXPECT_EQ(a.state(), QProcess::Running);

    // The real thing: the staged copy finishes the update once A has quit.
    staged = UpdateInstaller::stage(archive, bundles.installed);
    ASSERT_TRUE(std::holds_alternative<QString>(staged));
    const QString stagedBundle = std::get<QString>(staged);
    QProcess finisher;
    finisher.start(stagedBundle + "/bin/velmora",
                   {"--finish-update", QString::number(a.processId()), stagedBundle, bundles.installed});
    ASSERT_TRUE(finisher.waitForStarted(5000));
    ASSERT_TRUE(test::waitUntil([&] { return waitsForTheOldCopy(finisher); }, 15s));
    EXPECT_EQ(Bundles::versionOf(bundles.installed), "1.0") << "nothing moves while A runs";
    EXPECT_EQ(test::runProcess(executable, {"--quit"}).exitCode, 0);
    ASSERT_TRUE(a.waitForFinished(10000));
    ASSERT_TRUE(finisher.waitForFinished(20000));
    EXPECT_EQ(finisher.exitCode(), 0) << finisher.readAllStandardError().toStdString();
    EXPECT_EQ(Bundles::versionOf(bundles.installed), "2.0");
    ASSERT_TRUE(test::waitUntil([&] { return test::processesRunning(executable).size() == 1; }, 15s)) << "B runs";
    EXPECT_TRUE(test::waitUntil([&] { return bundles.leftovers().isEmpty(); }, 5s)) << "A is gone";
    EXPECT_EQ(test::readFile(preferences), R"({"velmora.language": "de"})");

    test::runProcess(executable, {"--quit"});
    EXPECT_TRUE(test::waitUntil([&] { return test::processesRunning(executable).isEmpty(); }, 10s));
    QDir(bundles.installed).removeRecursively();
}

} // namespace
