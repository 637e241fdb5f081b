// The built executable in its three launch modes, as separate real processes.
#include "BrowserBridge/BrowserBridge.h"
#include "Shell/VelmoraEntry.h"

#include "TestSupport.h"
#include "X11TestClient.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

using namespace velmora;
using test::ProcessResult;
using test::readFile;
using test::runProcess;
using test::waitUntil;

namespace {

const QString allowed = BrowserBridge::allowedOrigin;

TEST(CallerOrigin, ScansFromTheSecondArgumentAndTakesTheFirstOrigin)
{
    struct Case {
        QStringList arguments;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {{}, std::nullopt},
        {{allowed}, std::nullopt},
        {{QStringLiteral("velmora"), QStringLiteral("--x"), allowed}, allowed},
        {{QStringLiteral("velmora"), QStringLiteral("chrome-extension://a/"), QStringLiteral("chrome-extension://b/")},
         QStringLiteral("chrome-extension://a/")},
        {{QStringLiteral("velmora"), QStringLiteral("Chrome-Extension://a/")}, std::nullopt},
        {{QStringLiteral("velmora"), QStringLiteral("--dump-runtime")}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BrowserBridge::callerOrigin(c.arguments), c.expected) << c.arguments.join(' ').toStdString();

    // The published extension's identity: another value cuts every installed extension off.
    EXPECT_EQ(allowed, "chrome-extension://hkfjdmcepbnoaglihkfjdmcepbnoagli/");
    EXPECT_EQ(VelmoraEntry::launchMode({QStringLiteral("v"), QStringLiteral("--dump-runtime"), allowed}),
              VelmoraEntry::LaunchMode::host);
    EXPECT_EQ(VelmoraEntry::launchMode({QStringLiteral("v"), QStringLiteral("a"), QStringLiteral("--dump-runtime")}),
              VelmoraEntry::LaunchMode::dumpRuntime);
    EXPECT_EQ(VelmoraEntry::launchMode({QStringLiteral("velmora")}), VelmoraEntry::LaunchMode::application);
}

ProcessResult velmora(const QStringList& arguments, const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    return runProcess(test::velmoraExecutable(), arguments, environment);
}

TEST(HostMode, ForeignOriginsAreRejectedWithStatusTwo)
{
    const QString origins[] = {
        QStringLiteral("chrome-extension://hkfjdmcepbnoaglihkfjdmcepbnoagli"),
        QStringLiteral("chrome-extension://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/"),
        QStringLiteral("chrome-extension://hkfjdmcepbnoaglihkfjdmcepbnoagli/x"),
    };
    for (const QString& origin : origins) {
        // --dump-runtime loses to the origin: the host check comes first.
        const auto result = velmora({QStringLiteral("--dump-runtime"), origin});
        EXPECT_EQ(result.exitCode, 2) << origin.toStdString();
        EXPECT_EQ(result.standardError, "Velmora host: rejected origin " + origin.toUtf8() + '\n');
        EXPECT_TRUE(result.standardOutput.isEmpty()) << "nothing reaches the browser";
    }
}

TEST(HostMode, TheAllowedOriginNeverTouchesTheApplicationState)
{
    // Without the application, an empty browser side ends the host quietly.
    const auto result = velmora({allowed});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.standardOutput.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/com.orvane.velmora")));
    EXPECT_FALSE(QFileInfo::exists(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/Velmora")));
}

TEST(DumpRuntime, PrintsTheReportOfTheBuildTree)
{
    const QString bundle = test::bundleDir();
    const QString executable = bundle + QStringLiteral("/bin/velmora");
    const auto result = velmora({QStringLiteral("--dump-runtime")});
    ASSERT_EQ(result.exitCode, 0) << result.standardError.toStdString();
    const QString expected = QStringLiteral("bundleURL=%1\n"
                                            "resourceURL=%1/Resources\n"
                                            "executableURL=%2\n"
                                            "argv0=%2\n"
                                            "resolvedExecutable=%1/Resources/WhisperRuntime/bin/whisper-cli\n"
                                            "resolvedVADModel=%3\n"
                                            "model=%4/Velmora/models/ggml-large-v3-turbo-q5_0.bin\n"
                                            "candidate=%1/Resources\n"
                                            "  executableExists=true\n"
                                            "candidate=%1/Contents/Resources\n"
                                            "  executableExists=false\n"
                                            "hotKey=Control + Space\n"
                                            "hotKeyMode=combination\n"
                                            "hotKeyRegistration=available\n"
                                            "doubleTapAccess=true\n"
                                            "systemTray=none\n"
                                            "session=x11\n"
                                            "compositor=unknown\n"
                                            "globalShortcutBackend=x11\n"
                                            "doubleTapBackend=x11\n"
                                            "clipboardBackend=x11\n"
                                            "keyInjectionBackend=x11\n"
                                            "frontmostBackend=x11\n")
                                 .arg(bundle, executable,
                                      QFileInfo::exists(bundle + QStringLiteral("/Resources/WhisperRuntime/models/ggml-silero-v6.2.0.bin"))
                                          ? bundle + QStringLiteral("/Resources/WhisperRuntime/models/ggml-silero-v6.2.0.bin")
                                          : QStringLiteral("nil"),
                                      QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")));
    EXPECT_EQ(QString::fromUtf8(result.standardOutput), expected);
}

TEST(DumpRuntime, SaysWhenTheHotKeyIsTakenByAnotherApplication)
{
    test::X11TestClient other;
    ASSERT_TRUE(other.grabKey(test::keys::space, 4 /* Control */));
    const auto result = velmora({QStringLiteral("--dump-runtime")});
    ASSERT_EQ(result.exitCode, 0) << result.standardError.toStdString();
    EXPECT_TRUE(result.standardOutput.contains(
        "\nhotKeyRegistration=refused: Another application already uses this hot key."))
        << result.standardOutput.toStdString();
}

TEST(DumpRuntime, ACopyWithoutToolsSaysNilAndHonoursTheModelVariable)
{
    QTemporaryDir dir;
    const QString copy = dir.path() + QStringLiteral("/Elsewhere/bin/velmora");
    QDir().mkpath(QFileInfo(copy).absolutePath());
    ASSERT_TRUE(QFile::copy(test::velmoraExecutable(), copy));
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMORA_MODEL_PATH"), QStringLiteral("/nowhere/model.bin"));
    // Reached through "..": every candidate is standardized and listed once.
    const QString dotted = dir.path() + QStringLiteral("/Elsewhere/bin/../bin/velmora");
    const auto result = runProcess(dotted, {QStringLiteral("--dump-runtime")}, environment);
    ASSERT_EQ(result.exitCode, 0) << result.standardError.toStdString();
    const QString root = dir.path() + QStringLiteral("/Elsewhere");
    // The engine part; the activation lines after it are the same for every copy.
    EXPECT_EQ(QString::fromUtf8(result.standardOutput).section(QStringLiteral("hotKey="), 0, 0),
              QStringLiteral("bundleURL=%1\nresourceURL=%1/Resources\nexecutableURL=%1/bin/velmora\nargv0=%2\n"
                             "resolvedExecutable=nil\nresolvedVADModel=nil\nmodel=/nowhere/model.bin\n"
                             "candidate=%1/Resources\n  executableExists=false\n"
                             "candidate=%1/Contents/Resources\n  executableExists=false\n")
                  .arg(root, dotted));
}

TEST(DumpRuntime, AnOverLongArgumentListIsHandled)
{
    QStringList arguments;
    // About 1.3 MB of arguments: near what the kernel lets one process receive.
    for (int i = 0; i < 60000; ++i)
        arguments << QStringLiteral("argument-%1").arg(i);
    arguments << QStringLiteral("--dump-runtime");
    const auto dump = velmora(arguments);
    EXPECT_EQ(dump.exitCode, 0);
    EXPECT_TRUE(dump.standardOutput.startsWith("bundleURL="));

    arguments.last() = QStringLiteral("chrome-extension://late/");
    const auto host = velmora(arguments);
    EXPECT_EQ(host.exitCode, 2);
    EXPECT_EQ(host.standardError, "Velmora host: rejected origin chrome-extension://late/\n");
}

// The application mode, each copy a real process with its own event loop on the rig's display.
class ApplicationMode : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (auto& process : processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    QProcess* launch(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->start(test::velmoraExecutable(), {});
        EXPECT_TRUE(process->waitForStarted(5000));
        processes.push_back(std::move(process));
        return processes.back().get();
    }

    bool saysRunning(QProcess* process)
    {
        return process->state() == QProcess::Running && output(process).contains("Velmora is running");
    }

    // Everything the process wrote to standard error so far.
    QByteArray output(QProcess* process)
    {
        auto& buffer = buffers[process];
        buffer += process->readAllStandardError();
        return buffer;
    }

    static int stop(QProcess* process)
    {
        ::kill(pid_t(process->processId()), SIGTERM);
        process->waitForFinished(10000);
        return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    }

    static QString lockPath()
    {
        return QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/com.orvane.velmora/com.orvane.velmora.lock");
    }
    static QString preferencesPath()
    {
        return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + QStringLiteral("/Velmora/preferences.json");
    }

    std::vector<std::unique_ptr<QProcess>> processes;
    std::map<QProcess*, QByteArray> buffers;
};

TEST_F(ApplicationMode, TwoRacingLaunchesLeaveExactlyOneRunningAndItHearsTheOther)
{
    QFile::remove(preferencesPath());
    QProcess* a = launch();
    QProcess* b = launch();
    ASSERT_TRUE(waitUntil([&] { return a->state() == QProcess::NotRunning || b->state() == QProcess::NotRunning; },
                          std::chrono::seconds(15)));
    QProcess* loser = a->state() == QProcess::NotRunning ? a : b;
    QProcess* winner = loser == a ? b : a;
    EXPECT_EQ(loser->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(loser->exitCode(), 0);
    ASSERT_TRUE(waitUntil([&] { return saysRunning(winner); }, std::chrono::seconds(15))) << output(winner).toStdString();
    EXPECT_EQ(readFile(lockPath()), QByteArray::number(winner->processId()) + '\n');

    // The hand-off may come before the winner installs its handler; either way it is heard once.
    ASSERT_TRUE(waitUntil([&] { return output(winner).contains("handed over"); }, std::chrono::seconds(10)))
        << output(winner).toStdString();

    QProcess* third = launch();
    ASSERT_TRUE(third->waitForFinished(10000));
    EXPECT_EQ(third->exitCode(), 0);
    EXPECT_TRUE(third->readAllStandardError().isEmpty()) << "a handed-over launch ends quietly";
    EXPECT_TRUE(waitUntil([&] { return output(winner).count("handed over") == 2; }, std::chrono::seconds(10)));

    EXPECT_EQ(stop(winner), 0);
    QProcess* after = launch();
    EXPECT_TRUE(waitUntil([&] { return saysRunning(after); }, std::chrono::seconds(15))) << "the lock died with its holder";
}

TEST_F(ApplicationMode, WithMultipleInstancesAllowedBothRun)
{
    QDir().mkpath(QFileInfo(preferencesPath()).absolutePath());
    test::writeFile(preferencesPath(), R"({"allowMultipleInstances": true})");
    QProcess* a = launch();
    QProcess* b = launch();
    EXPECT_TRUE(waitUntil([&] { return saysRunning(a) && saysRunning(b); }, std::chrono::seconds(15)))
        << output(a).toStdString() << output(b).toStdString();
    EXPECT_EQ(stop(a), 0);
    EXPECT_EQ(stop(b), 0);
    QFile::remove(preferencesPath());
}

TEST_F(ApplicationMode, AnUnparsablePreferencesFileIsReadAsEmptyAndKept)
{
    QDir().mkpath(QFileInfo(preferencesPath()).absolutePath());
    const QByteArray damaged = R"({"allowMultipleInstances": true,)";
    test::writeFile(preferencesPath(), damaged);
    QProcess* a = launch();
    ASSERT_TRUE(waitUntil([&] { return saysRunning(a); }, std::chrono::seconds(15))) << output(a).toStdString();
    QProcess* b = launch();
    ASSERT_TRUE(b->waitForFinished(10000)) << output(b).toStdString() << "\nfirst:\n" << output(a).toStdString();
    EXPECT_EQ(b->exitCode(), 0) << "a damaged file enforces a single copy, the default";
    EXPECT_EQ(stop(a), 0);
    EXPECT_EQ(readFile(preferencesPath()), damaged);
    QFile::remove(preferencesPath());
}

// How an installer replaces a running copy: `velmora --quit` ends it, and
// with nothing running it starts nothing.
TEST_F(ApplicationMode, QuitEndsTheRunningCopyAndStartsNothingWhenNoneRuns)
{
    const auto alone = runProcess(test::velmoraExecutable(), {"--quit"});
    EXPECT_EQ(alone.exitCode, 0);
    EXPECT_FALSE(alone.standardError.contains("Velmora is running")) << alone.standardError.toStdString();

    QProcess* running = launch();
    ASSERT_TRUE(waitUntil([&] { return saysRunning(running); }, std::chrono::seconds(15))) << output(running).toStdString();
    const auto quit = runProcess(test::velmoraExecutable(), {"--quit"});
    EXPECT_EQ(quit.exitCode, 0);
    ASSERT_TRUE(running->waitForFinished(10000)) << output(running).toStdString();
    EXPECT_EQ(running->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(running->exitCode(), 0);
    EXPECT_TRUE(output(running).contains("quit requested by velmora --quit")) << output(running).toStdString();
}

TEST_F(ApplicationMode, AnUnusableLockFolderFailsWithTheErrorAndAFailureStatus)
{
    QTemporaryDir dir;
    test::writeFile(dir.path() + QStringLiteral("/not-a-folder"), "x");
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.path() + QStringLiteral("/not-a-folder"));
    const auto result = runProcess(test::velmoraExecutable(), {}, environment);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.standardError.contains(
        "Velmora failed to acquire the single-instance lock: createFolderFailed(errno: 20)"))
        << result.standardError.toStdString();
}

} // namespace

namespace {

// Whoever started Velmora may close the pipe its log goes to (a launcher that
// exits, the old copy an update replaced): the next log line must not end it.
TEST_F(ApplicationMode, ALogPipeWithoutAReaderDoesNotEndTheProgram)
{
    QTemporaryDir dir;
    const QString status = dir.path() + "/status";
    QProcess pipeline;
    const QString readerGone = dir.path() + "/reader-gone";
    pipeline.start("sh", {"-c", "{ \"$0\" 2>&1 >/dev/null; echo $? >\"$1\"; } | { head -c 1 >/dev/null; exec <&-; touch \"$2\"; }",
                          test::velmoraExecutable(), status, readerGone});
    // head goes after the first byte, the first line of the log: from then on the pipe has no reader.
    qint64 pid = 0;
    ASSERT_TRUE(waitUntil([&] {
        pid = readFile(lockPath()).trimmed().toLongLong();
        return pid > 0 && ::kill(pid_t(pid), 0) == 0;
    }, std::chrono::seconds(15)));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(readerGone); }, std::chrono::seconds(10)));
    // A second launch is handed over, and the running copy logs it.
    EXPECT_EQ(runProcess(test::velmoraExecutable(), {}).exitCode, 0);
    EXPECT_EQ(runProcess(test::velmoraExecutable(), {"--quit"}).exitCode, 0);
    ASSERT_TRUE(pipeline.waitForFinished(15000));
    EXPECT_EQ(readFile(status).trimmed(), "0") << "141 is death by SIGPIPE";
}

} // namespace
