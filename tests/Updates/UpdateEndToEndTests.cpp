// Velmora updating itself as its user sees it: a real installed copy in the
// rig's ~/Applications reads a signed feed from a loopback HTTPS server, shows
// its offer window, and is answered with the keyboard. Killed on the way, it
// leaves the installed copy as it was; the next start cleans up and offers the
// update again, and Install then replaces it with the new version.
#include "AppUpdater/UpdateInstaller.h"

#include "DictationBundle.h"
#include "HttpsTestServer.h"
#include "ReleaseKey.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace std::chrono_literals;
namespace test = velmora::test;
using AppUpdater::UpdateInstaller::stagingPrefix;

namespace {

const QString oldBuild = "20200101000000";
const QString newBuild = "20991231000000";

QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

// The names and sizes of everything in a folder: what a refusal must not change.
QByteArray listing(const QString& folder)
{
    return test::runProcess("sh", {"-c", "find \"$1\" -printf '%P %s %m\\n' | sort", "sh", folder}).standardOutput;
}

class UpdateEndToEnd : public ::testing::Test {
protected:
    QTemporaryDir work;
    test::HttpsTestServer server;
    test::ReleaseKey key;
    QString applications = env("HOME") + "/Applications";
    QString installed = applications + "/Velmora";
    QString executable = installed + "/bin/velmora";
    QString preferences = env("XDG_CONFIG_HOME") + "/Velmora/preferences.json";
    QList<std::shared_ptr<QProcess>> running;

    void SetUp() override
    {
        QDir(installed).removeRecursively();
        ASSERT_TRUE(test::installBundleCopy(installed));
        test::editBundleInfo(installed, [&](QJsonObject& info) {
            info["CFBundleShortVersionString"] = "1.0";
            info["CFBundleVersion"] = oldBuild;
            info["SUFeedURL"] = server.url("/feed.xml").toString();
            info["SUPublicEDKey"] = key.publicKey();
        });
        QDir().mkpath(QFileInfo(preferences).absolutePath());
        test::writeFile(preferences, R"({"velmora.language": "de"})");
        test::writeFile(work.path() + "/ggml-mine.bin", "model");
    }

    void TearDown() override
    {
        for (const auto& process : running) {
            process->kill();
            process->waitForFinished(5000);
        }
        test::runProcess(executable, {"--quit"}, environment());
        test::waitUntil([&] { return test::processesRunning(executable).isEmpty(); }, 10s);
        killStagedCopies();
        QDir(installed).removeRecursively();
        QDir(applications).removeRecursively();
    }

    // Only this rig's: a program beside this one (ctest -j) may be staging an update of its own.
    void killStagedCopies() const
    {
        test::runProcess("pkill", {"-KILL", "-f", QString(applications + "/" + stagingPrefix).replace(".", "\\.")});
    }

    QProcessEnvironment environment() const
    {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("SSL_CERT_FILE", server.caFile());
        environment.insert("VELMORA_MODEL_PATH", work.path() + "/ggml-mine.bin");
        return environment;
    }

    // The bundle as version 2.0, changed by `edit`, in a tar archive served and announced in the feed.
    void release(const std::function<void(const QString&)>& edit = {})
    {
        const QString made = work.path() + "/make/Velmora";
        QDir(made).removeRecursively();
        QDir().mkpath(made);
        ASSERT_EQ(test::runProcess("cp", {"-a", test::bundleDir() + "/.", made}).exitCode, 0);
        test::editBundleInfo(made, [](QJsonObject& info) {
            info["CFBundleShortVersionString"] = "2.0";
            info["CFBundleVersion"] = newBuild;
        });
        if (edit)
            edit(made);
        const QString archive = work.path() + "/Velmora-2.0.tar";
        QFile::remove(archive);
        ASSERT_EQ(test::runProcess("tar", {"-C", work.path() + "/make", "-cf", archive, "Velmora"}).exitCode, 0);
        const QByteArray bytes = test::readFile(archive);
        server.route("/Velmora-2.0.tar", {200, bytes});
        server.route("/feed.xml",
                     {200, test::releaseFeed(newBuild, server.url("/Velmora-2.0.tar").toString(), bytes.size(), key.sign(bytes))});
    }

    std::shared_ptr<QProcess> launch()
    {
        auto process = std::make_shared<QProcess>();
        process->setProcessEnvironment(environment());
        process->start(executable, {});
        EXPECT_TRUE(process->waitForStarted(5000));
        running.append(process);
        return process;
    }

    // The offer window, answered with Return: its default button is Install.
    bool installFromTheOffer()
    {
        QString window;
        const bool shown = test::waitUntil([&] {
            window = QString::fromLatin1(
                test::runProcess("xdotool", {"search", "--name", "^Software Update$"}).standardOutput.trimmed());
            return !window.isEmpty() && !window.contains('\n');
        }, 30s);
        if (!shown)
            return false;
        test::runProcess("xdotool", {"windowactivate", "--sync", window});
        return test::runProcess("xdotool", {"key", "--clearmodifiers", "Return"}).exitCode == 0;
    }

    QStringList leftovers() const
    {
        return QDir(applications).entryList({stagingPrefix + "*"}, QDir::Dirs | QDir::Files | QDir::Hidden);
    }
};

TEST_F(UpdateEndToEnd, KilledAtEachStepLeavesTheCopyAsItWasAndTheNextStartInstalls)
{
    const QByteArray before = listing(installed);
    const QString recordings = env("TMPDIR") + QString("/velmora-%1").arg(::getuid());
    struct Step {
        const char* name;
        std::function<void()> arrange;
        std::function<bool()> reached; // Velmora is in the middle of this step
        std::function<void(QProcess&)> meanwhile;
    };
    const Step steps[] = {
        {"downloading",
         [&] {
             release();
             auto stalled = test::HttpsTestServer::Route{200, test::readFile(work.path() + "/Velmora-2.0.tar")};
             stalled.stallAfter = 64 * 1024;
             server.route("/Velmora-2.0.tar", stalled);
         },
         [&] { return server.requests("/Velmora-2.0.tar") > 0 && !leftovers().isEmpty(); },
         // A dictation begun while the update downloads: quitting is refused until it is done.
         [&](QProcess& velmora) {
             EXPECT_EQ(test::runProcess(executable, {"--toggle"}, environment()).exitCode, 0);
             EXPECT_TRUE(test::waitUntil([&] { return test::countActivations("started") == 1; }, 10s)) << "recording";
             velmora.terminate(); // as the session does when it ends
             QByteArray said;
             EXPECT_TRUE(test::waitUntil([&] {
                 said += velmora.readAllStandardError();
                 return said.contains("quit requested by signal 15\n") && said.contains("quit refused\n");
             }, 10s)) << said.toStdString();
             QTest::qWait(500);
             EXPECT_EQ(velmora.state(), QProcess::Running);
         }},
        {"checking the new copy",
         [&] {
             // Its program takes its time to answer --dump-runtime.
             release([](const QString& made) {
                 QFile::rename(made + "/bin/velmora", made + "/bin/velmora-real");
                 test::writeScript(made + "/bin/velmora",
                                   "[ \"$1\" = --dump-runtime ] && sleep 60\nexec \"$0-real\" \"$@\"\n");
             });
         },
         [&] {
             return !test::runProcess("pgrep", {"-f", stagingPrefix + ".*/bin/velmora --dump-runtime"})
                         .standardOutput.isEmpty();
         },
         {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.arrange();
        const auto velmora = launch();
        ASSERT_TRUE(installFromTheOffer()) << velmora->readAllStandardError().toStdString();
        ASSERT_TRUE(test::waitUntil(step.reached, 60s)) << velmora->readAllStandardError().toStdString();
        if (step.meanwhile)
            step.meanwhile(*velmora);
        velmora->kill();
        ASSERT_TRUE(velmora->waitForFinished(5000));
        killStagedCopies();

        EXPECT_EQ(listing(installed), before);
        EXPECT_FALSE(leftovers().isEmpty()) << "what the step was writing is still there";
        EXPECT_EQ(test::runProcess(executable, {"--dump-runtime"}, environment()).exitCode, 0) << "it still runs";
        QDir(recordings).removeRecursively();
    }

    // The next start removes what was left, offers the update again, and installs it.
    release();
    const auto a = launch();
    ASSERT_TRUE(test::waitUntil([&] { return leftovers().isEmpty(); }, 15s)) << leftovers().join(' ').toStdString();
    ASSERT_TRUE(installFromTheOffer()) << a->readAllStandardError().toStdString();
    // Waited for with the event loop running: this process serves the download.
    ASSERT_TRUE(test::waitUntil([&] { return a->state() == QProcess::NotRunning; }, 60s)) << "it quits for the update";
    EXPECT_EQ(a->exitCode(), 0);
    EXPECT_TRUE(a->readAllStandardError().contains("quit requested by the update"));
    ASSERT_TRUE(test::waitUntil([&] { return test::bundleInfo(installed).value("CFBundleVersion").toString() == newBuild; }, 30s));
    // The finishing step runs from the staged binary, which after the swap is the installed one: not it.
    qint64 b = 0;
    ASSERT_TRUE(test::waitUntil([&] {
        const auto pids = test::processesRunning(executable);
        b = 0;
        for (qint64 pid : pids)
            if (!test::readFile(QString("/proc/%1/cmdline").arg(pid)).contains("--finish-update"))
                b = pid;
        return pids.size() == 1 && b != 0;
    }, 15s)) << "2.0 runs; running: " << [&] {
        QStringList running;
        for (qint64 pid : test::processesRunning(executable))
            running << QString::number(pid) + " " + test::readFile(QString("/proc/%1/cmdline").arg(pid)).replace('\0', ' ');
        return running.join("; ").toStdString();
    }();
    EXPECT_NE(b, a->processId());
    EXPECT_TRUE(test::waitUntil([&] { return leftovers().isEmpty(); }, 10s)) << "1.0 is gone";
    EXPECT_EQ(test::bundleInfo(installed).value("CFBundleShortVersionString").toString(), "2.0");
    EXPECT_EQ(QJsonDocument::fromJson(test::readFile(preferences)).object().value("velmora.language").toString(), "de")
        << "the user's settings are kept";
}

} // namespace
