// Velmora as a user meets it: the built program started from a bundle on the
// rig's desktop (X server, window manager, tray, session bus with a notification
// server, the sound server's TestMic), driven with xdotool and read back from the
// screen, the clipboard, the notification server and the activation log.
#include "DictationBundle.h"
#include "TestSupport.h"
#include "X11TestClient.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

const QString said = "We ship Kubernetes on Friday.";

QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

test::ProcessResult xdotool(const QStringList& arguments)
{
    return test::runProcess("xdotool", arguments);
}

test::DictationBundle& bundle()
{
    static test::DictationBundle instance(said, "We ship kubernetis on Friday.");
    return instance;
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(bundle().spoken).size() > 10000) << "espeak-ng made the speech";
        ASSERT_TRUE(test::setKeyboardLayout("us"));
        // Settings a user would choose, and one vocabulary entry.
        const QJsonArray vocabulary{QJsonObject{{"id", "6A1F5B2C-0000-4000-8000-000000000001"},
                                                {"spelling", "Kubernetes"},
                                                {"variants", QJsonArray{"kubernetis"}}}};
        const QJsonObject preferences{
            {"velmora.autoCopyToClipboard", true},
            {"velmora.directInsert", true},
            {"velmora.notifyOnTranscriptionComplete", true},
            {"velmora.soundEffectsEnabled", false},
            {"velmora.autoClearTranscript", false},
            {"velmora.browserIntegration", true},
            {"velmora.vocabulary", QJsonObject{{"$data", QString::fromLatin1(QJsonDocument(vocabulary).toJson(
                                                                                 QJsonDocument::Compact).toBase64())}}},
        };
        QDir().mkpath(env("XDG_CONFIG_HOME") + "/Velmora");
        test::writeFile(env("XDG_CONFIG_HOME") + "/Velmora/preferences.json", QJsonDocument(preferences).toJson());
        QFile::remove(activationLogPath());
    }

    void TearDown() override
    {
        for (auto& process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
        if (m_target.state() != QProcess::NotRunning) {
            m_target.kill();
            m_target.waitForFinished(5000);
        }
    }

    QProcessEnvironment environment() const
    {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VELMORA_MODEL_PATH", bundle().model);
        return environment;
    }

    QProcess* start(const QStringList& arguments = {})
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment());
        process->start(bundle().executable, arguments);
        EXPECT_TRUE(process->waitForStarted(5000));
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

    // Another launch from a terminal: it hands over and exits at once.
    void launchAgain(const QStringList& arguments)
    {
        const auto result = test::runProcess(bundle().executable, arguments, environment(), 10s);
        EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
        EXPECT_FALSE(result.timedOut);
    }

    QByteArray output(QProcess* process)
    {
        m_output[process] += process->readAllStandardError();
        return m_output[process];
    }

    bool waitForLog(QProcess* process, const QByteArray& line, std::chrono::milliseconds limit = 20s)
    {
        return test::waitUntil([&] { return output(process).contains(line); }, limit);
    }

    static QString activationLogPath() { return test::activationLogPath(); }
    static int count(const QString& action, const QString& source = {}) { return test::countActivations(action, source); }

    // A text field of another application, in front.
    QString openTarget()
    {
        const QString typed = env("TMPDIR") + "/typed.txt";
        QFile::remove(typed);
        m_target.start(VELMORA_PASTE_TARGET, {"window", typed});
        EXPECT_TRUE(m_target.waitForReadyRead(10000));
        focusTarget();
        return typed;
    }
    void focusTarget()
    {
        const auto windows = xdotool({"search", "--sync", "--pid", QString::number(m_target.processId())});
        const QString window = QString::fromLatin1(windows.standardOutput).split('\n', Qt::SkipEmptyParts).value(0);
        xdotool({"windowactivate", "--sync", window});
    }

    static void speak() { test::runProcess(env("VELMORA_RIG_FEED_MIC"), {bundle().spoken}, QProcessEnvironment::systemEnvironment(), 30s); }

    // The tray icon: the only one in the panel at the top right.
    static QPoint trayIcon()
    {
        const auto geometry = xdotool({"search", "--name", "^panel$", "getwindowgeometry", "--shell"});
        QMap<QString, int> values;
        for (const QByteArray& line : geometry.standardOutput.split('\n')) {
            const auto parts = line.split('=');
            if (parts.size() == 2)
                values[QString::fromLatin1(parts[0])] = parts[1].toInt();
        }
        return {values["X"] + values["WIDTH"] - 12, values["Y"] + 12};
    }
    static void clickTray(int clicks = 1, int button = 1)
    {
        const QPoint at = trayIcon();
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "--repeat",
                 QString::number(clicks), "--delay", "120", QString::number(button)});
    }

    // The popover: a visible Velmora window of the popover's size.
    static std::optional<QRect> popover()
    {
        const auto found = xdotool({"search", "--onlyvisible", "--class", "velmora"});
        for (const QByteArray& id : found.standardOutput.split('\n')) {
            if (id.isEmpty())
                continue;
            const auto geometry = xdotool({"getwindowgeometry", "--shell", QString::fromLatin1(id)});
            QMap<QString, int> values;
            for (const QByteArray& line : geometry.standardOutput.split('\n')) {
                const auto parts = line.split('=');
                if (parts.size() == 2)
                    values[QString::fromLatin1(parts[0])] = parts[1].toInt();
            }
            if (values["WIDTH"] >= 400 && values["HEIGHT"] >= 480)
                return QRect(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
        }
        return std::nullopt;
    }

    static QString clipboard()
    {
        return QString::fromUtf8(test::runProcess("xclip", {"-o", "-selection", "clipboard"}).standardOutput);
    }

    // What the popover's transcript shows, read as a user would: select it all and copy. The
    // clipboard holds something else first, so what auto-copy put there cannot pass for it.
    static QString transcriptOnScreen(const QRect& frame)
    {
        const QString before = QStringLiteral("not the transcript");
        QProcess xclip;
        xclip.start("xclip", {"-selection", "clipboard", "-i"});
        xclip.write(before.toUtf8());
        xclip.closeWriteChannel();
        EXPECT_TRUE(xclip.waitForFinished(5000));
        EXPECT_TRUE(test::waitUntil([&] { return clipboard() == before; }));
        xdotool({"mousemove", QString::number(frame.center().x()), QString::number(frame.top() + 250), "click", "1"});
        xdotool({"key", "ctrl+a", "ctrl+c"});
        EXPECT_TRUE(test::waitUntil([&] { return clipboard() != before; }));
        return clipboard();
    }

    static QString notices()
    {
        return QString::fromUtf8(test::runProcess("dunstctl", {"history"}).standardOutput);
    }

    std::vector<std::unique_ptr<QProcess>> m_processes;
    std::map<QProcess*, QByteArray> m_output;
    QProcess m_target;
};

TEST_F(Desktop, AUsersDay)
{
    QProcess* velmora = start();
    ASSERT_TRUE(waitForLog(velmora, "Velmora is running")) << output(velmora).toStdString();
    ASSERT_TRUE(waitForLog(velmora, "tray icon visible")) << output(velmora).toStdString();
    const QString typed = openTarget();
    test::X11TestClient keyboard;

    // Ctrl+Space, speak, Ctrl+Space.
    keyboard.chord({test::keys::control}, test::keys::space);
    ASSERT_TRUE(test::waitUntil([] { return count("startRequested", "globalHotKey") == 1 && count("started") == 1; }, 10s)) << output(velmora).toStdString();
    speak();
    keyboard.chord({test::keys::control}, test::keys::space);
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(typed) == said.toUtf8(); }, 20s))
        << test::readFile(typed).toStdString() << output(velmora).toStdString();
    EXPECT_EQ(clipboard(), said) << "copied";
    ASSERT_TRUE(test::waitUntil([] { return notices().contains("Transcription complete"); }, 10s)) << notices().toStdString();
    EXPECT_EQ(count("transcriptionCompleted"), 1);

    // A double click on the tray icon does the same.
    focusTarget();
    clickTray(2);
    ASSERT_TRUE(test::waitUntil([] { return count("startRequested", "menuBarLeftClick") == 1 && count("started") == 2; }, 10s))
        << output(velmora).toStdString();
    QTest::qWait(600);
    EXPECT_FALSE(popover()) << "a double click does not open the popover" << output(velmora).toStdString();
    speak();
    focusTarget();
    clickTray(2);
    // The second dictation into the same field does not run into the first.
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(typed) == (said + " " + said).toUtf8(); }, 20s))
        << test::readFile(typed).toStdString();
    EXPECT_EQ(count("transcriptionCompleted"), 2);

    // A single click opens the popover once the double-click interval has passed;
    // the transcript holds both dictations.
    clickTray(1);
    ASSERT_TRUE(test::waitUntil([] { return popover().has_value(); }, 5s));
    const QRect frame = *popover();
    EXPECT_GT(frame.top(), 20) << "below the panel";
    EXPECT_EQ(transcriptOnScreen(frame), said + "\n" + said);
    xdotool({"key", "Escape"});
    ASSERT_TRUE(test::waitUntil([] { return !popover(); }, 5s)) << "Escape closes it";

    // A second launch shows the popover of the running copy.
    launchAgain({});
    EXPECT_TRUE(test::waitUntil([] { return popover().has_value(); }, 5s));
    xdotool({"key", "Escape"});
    ASSERT_TRUE(test::waitUntil([] { return !popover(); }, 5s));

    // velmora --toggle twice from a terminal dictates once.
    focusTarget();
    launchAgain({"--toggle"});
    ASSERT_TRUE(test::waitUntil([] { return count("startRequested", "commandLine") == 1 && count("started") == 3; }, 10s)) << output(velmora).toStdString();
    speak();
    focusTarget();
    launchAgain({"--toggle"});
    ASSERT_TRUE(test::waitUntil([] { return count("transcriptionCompleted") == 3; }, 20s)) << output(velmora).toStdString();
    EXPECT_EQ(count("startRequested", "commandLine"), 1);
    EXPECT_EQ(count("stopRequested", "commandLine"), 1);
    EXPECT_TRUE(test::waitUntil([&] { return test::readFile(typed) == (said + " " + said + " " + said).toUtf8(); }, 10s))
        << test::readFile(typed).toStdString() << output(velmora).toStdString();

    // Ctrl+Q quits cleanly, in the middle of a recording: no process, socket or
    // temporary file is left.
    const QString socket = env("XDG_DATA_HOME") + "/Velmora/bridge/bridge.sock";
    EXPECT_TRUE(QFileInfo::exists(socket)) << "browser integration is on";
    launchAgain({"--toggle"});
    ASSERT_TRUE(test::waitUntil([] { return count("startRequested", "commandLine") == 2 && count("started") == 4; }, 10s));
    const QString temporary = env("TMPDIR") + QString("/velmora-%1").arg(::getuid());
    EXPECT_FALSE(QDir(temporary).entryList({"velmora-*"}, QDir::Files).isEmpty()) << "a recording is being written";
    launchAgain({"--show"});
    ASSERT_TRUE(test::waitUntil([] { return popover().has_value(); }, 5s));
    xdotool({"key", "ctrl+q"});
    ASSERT_TRUE(velmora->waitForFinished(15000)) << output(velmora).toStdString();
    EXPECT_EQ(velmora->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(velmora->exitCode(), 0);
    EXPECT_TRUE(output(velmora).contains("quit requested by the Quit command"));
    EXPECT_FALSE(QFileInfo::exists(socket)) << "the bridge socket is removed";
    EXPECT_EQ(QDir(temporary).entryList({"velmora-*"}, QDir::Files), QStringList()) << "no recording is left";
    const auto tools = test::runProcess("pgrep", {"-f", bundle().root});
    EXPECT_TRUE(tools.standardOutput.isEmpty()) << "no child process is left: " << tools.standardOutput.toStdString();
}

TEST_F(Desktop, QuittingEndsARunningTranscriptionAndSigtermTakesTheSameRoad)
{
    // A whisper-cli that never finishes: quitting must not wait for it.
    const QString slow = bundle().dir.path() + "/Slow";
    QDir().mkpath(slow + "/bin");
    QDir().mkpath(slow + "/Resources/WhisperRuntime/bin");
    QFile::copy(bundle().executable, slow + "/bin/velmora");
    QFile::setPermissions(slow + "/bin/velmora", QFileDevice::ExeOwner | QFileDevice::ReadOwner);
    test::writeScript(slow + "/Resources/WhisperRuntime/bin/whisper-cli",
                      "for a; do [ \"$a\" = -of ] && exec sleep 600; done\nexit 0\n");
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment());
    process->start(slow + "/bin/velmora", {"--toggle"});
    QProcess* velmora = process.get();
    m_processes.push_back(std::move(process));
    ASSERT_TRUE(test::waitUntil([] { return count("startRequested", "commandLine") == 1 && count("started") == 1; }, 20s)) << output(velmora).toStdString();
    speak();
    launchAgain({"--toggle"});
    ASSERT_TRUE(test::waitUntil([&] { return !test::runProcess("pgrep", {"-f", "sleep 600"}).standardOutput.isEmpty(); }, 10s))
        << "the transcription is running";
    ::kill(pid_t(velmora->processId()), SIGTERM);
    ASSERT_TRUE(velmora->waitForFinished(10000)) << output(velmora).toStdString();
    EXPECT_EQ(velmora->exitCode(), 0);
    EXPECT_TRUE(output(velmora).contains("quit requested by signal 15"));
    EXPECT_TRUE(test::waitUntil([] { return test::runProcess("pgrep", {"-f", "sleep 600"}).standardOutput.isEmpty(); }, 5s))
        << "the tool was stopped";
    const QString temporary = env("TMPDIR") + QString("/velmora-%1").arg(::getuid());
    EXPECT_EQ(QDir(temporary).entryList({"velmora-*"}, QDir::Files), QStringList());
}

TEST_F(Desktop, QuittingEndsTheLiveTool)
{
    // Live mode runs the real whisper-stream on the tiny test model.
    const QString preferences = env("XDG_CONFIG_HOME") + "/Velmora/preferences.json";
    QJsonObject values = QJsonDocument::fromJson(test::readFile(preferences)).object();
    values.insert("velmora.dictationMode", "stream");
    test::writeFile(preferences, QJsonDocument(values).toJson());
    auto process = std::make_unique<QProcess>();
    auto environment = this->environment();
    environment.insert("VELMORA_MODEL_PATH", test::testModel());
    process->setProcessEnvironment(environment);
    process->start(bundle().executable, {"--toggle"});
    QProcess* velmora = process.get();
    m_processes.push_back(std::move(process));
    const auto liveTools = [] {
        return test::runProcess("pgrep", {"-f", bundle().root + "/Resources/WhisperRuntime/bin/whisper-stream"})
            .standardOutput;
    };
    ASSERT_TRUE(test::waitUntil([&] { return !liveTools().isEmpty(); }, 20s)) << output(velmora).toStdString();
    ::kill(pid_t(velmora->processId()), SIGTERM);
    ASSERT_TRUE(velmora->waitForFinished(10000)) << output(velmora).toStdString();
    EXPECT_EQ(velmora->exitCode(), 0);
    EXPECT_TRUE(test::waitUntil([&] { return liveTools().isEmpty(); }, 5s)) << "whisper-stream was left running";
}

// The desktop's tray is a StatusNotifierItem host (KDE, GNOME with the
// AppIndicator extension): the toolkit registers the icon with the watcher, and
// clicks arrive as D-Bus calls that never report a double click or a position.
class StatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return registered; }
    QStringList registered;

public slots:
    void RegisterStatusNotifierItem(const QString& service) { registered << service; }
    void RegisterStatusNotifierHost(const QString&) {}
};

TEST_F(Desktop, AStatusNotifierItemTray)
{
    StatusNotifierWatcher watcher;
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerObject("/StatusNotifierWatcher", &watcher,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(bus.registerService("org.kde.StatusNotifierWatcher"));
    // The report asks the watcher, which lives in this process: keep serving while it runs.
    QProcess dump;
    dump.setProcessEnvironment(environment());
    dump.start(bundle().executable, {"--dump-runtime"});
    ASSERT_TRUE(test::waitUntil([&] { return dump.state() == QProcess::NotRunning; }, 10s));
    EXPECT_TRUE(dump.readAllStandardOutput().contains("systemTray=statusNotifierItem"));

    QProcess* velmora = start();
    ASSERT_TRUE(waitForLog(velmora, "Velmora is running")) << output(velmora).toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return !watcher.registered.isEmpty(); }, 10s)) << output(velmora).toStdString();
    QDBusInterface item(watcher.registered.first(), "/StatusNotifierItem", "org.kde.StatusNotifierItem", bus);
    ASSERT_TRUE(item.isValid()) << watcher.registered.first().toStdString();

    // Two Activate calls within the double-click interval: one double click.
    item.call("Activate", 10, 10);
    QTest::qWait(100);
    item.call("Activate", 10, 10);
    ASSERT_TRUE(test::waitUntil([] { return count("startRequested", "menuBarLeftClick") == 1 && count("started") == 1; }, 10s))
        << output(velmora).toStdString();
    QTest::qWait(600);
    EXPECT_FALSE(popover()) << "no popover from a double click";
    speak();
    item.call("Activate", 10, 10);
    item.call("Activate", 10, 10);
    ASSERT_TRUE(test::waitUntil([] { return count("transcriptionCompleted") == 1; }, 20s)) << output(velmora).toStdString();
    EXPECT_EQ(count("startRequested"), 1) << "four calls, two double clicks, one dictation";

    // One Activate: the popover opens at the pointer after the interval.
    xdotool({"mousemove", "700", "40"});
    item.call("Activate", 700, 40);
    ASSERT_TRUE(test::waitUntil([] { return popover().has_value(); }, 5s));
    EXPECT_LE(std::abs(popover()->center().x() - 700), 2) << popover()->x();
    // The right click (ContextMenu) closes it again, without touching dictation.
    item.call("ContextMenu", 700, 40);
    ASSERT_TRUE(test::waitUntil([] { return !popover(); }, 5s));
    EXPECT_EQ(count("startRequested"), 1);
}

TEST_F(Desktop, WithoutATrayTheWindowIsTheInterface)
{
    EXPECT_TRUE(test::runProcess(bundle().executable, {"--dump-runtime"}, environment()).standardOutput.contains(
        "systemTray=none"));
    QProcess* velmora = start();
    ASSERT_TRUE(waitForLog(velmora, "no system tray found")) << output(velmora).toStdString();
    ASSERT_TRUE(test::waitUntil([] { return popover().has_value(); }, 5s)) << "the window shows at start";
    // Closing the window keeps Velmora running; a second launch brings it back.
    xdotool({"search", "--onlyvisible", "--class", "velmora", "windowactivate", "--sync"});
    xdotool({"key", "alt+F4"});
    ASSERT_TRUE(test::waitUntil([] { return !popover(); }, 5s));
    EXPECT_EQ(velmora->state(), QProcess::Running);
    launchAgain({});
    ASSERT_TRUE(test::waitUntil([] { return popover().has_value(); }, 5s)) << output(velmora).toStdString();
    xdotool({"key", "ctrl+q"});
    ASSERT_TRUE(velmora->waitForFinished(10000));
    EXPECT_EQ(velmora->exitCode(), 0);
}

// A new computer joining the cloud folder: the vocabulary is in the folder only, not yet
// kept on this computer, and the popover is never opened. The first dictation after launch
// is corrected with it and its terms are the prompt; a change another computer makes between
// two dictations is used by the second.
TEST_F(Desktop, TheCloudVocabularyFromTheFirstDictationOn)
{
    // A user with no vocabulary of their own on this computer yet.
    test::writeFile(env("XDG_CONFIG_HOME") + "/Velmora/preferences.json",
                    QJsonDocument(QJsonObject{{"velmora.directInsert", true}, {"velmora.autoCopyToClipboard", false},
                                              {"velmora.soundEffectsEnabled", false},
                                              {"velmora.notifyOnTranscriptionComplete", false}})
                        .toJson());
    const QString folder = env("HOME") + "/Nextcloud/Velmora";
    QDir().mkpath(folder);
    const auto writeVocabulary = [&](const QJsonArray& entries) {
        // As a sync client does: a new file put in place.
        test::writeFile(folder + "/.vocabulary.json.part", QJsonDocument(entries).toJson());
        ASSERT_EQ(::rename(QFile::encodeName(folder + "/.vocabulary.json.part").constData(),
                           QFile::encodeName(folder + "/vocabulary.json").constData()), 0);
    };
    const QJsonObject kubernetes{{"id", "1B4E28BA-2FA1-11D2-883F-0016D3CCA427"}, {"spelling", "Kubernetes"},
                                 {"variants", QJsonArray{"cube and eighties"}}};
    writeVocabulary({kubernetes});
    bundle().hear("we use cube and eighties daily");
    const auto prompts = [] {
        QStringList found;
        for (const QStringList& run : bundle().runs())
            if (run.contains("-of") && run.contains("--prompt"))
                found << run.value(run.indexOf("--prompt") + 1);
        return found;
    };
    const auto promptsBefore = prompts().size();

    QProcess* velmora = start();
    ASSERT_TRUE(waitForLog(velmora, "tray icon visible")) << output(velmora).toStdString();
    const QString typed = openTarget();
    test::X11TestClient keyboard;
    const auto dictate = [&](int nth, const QString& expected) {
        keyboard.chord({test::keys::control}, test::keys::space);
        ASSERT_TRUE(test::waitUntil([&] { return count("started") == nth; }, 10s)) << output(velmora).toStdString();
        speak();
        keyboard.chord({test::keys::control}, test::keys::space);
        ASSERT_TRUE(test::waitUntil([&] { return test::readFile(typed) == expected.toUtf8(); }, 20s))
            << test::readFile(typed).toStdString() << output(velmora).toStdString();
        ASSERT_TRUE(test::waitUntil([&] { return count("transcriptionCompleted") == nth; }, 10s));
    };
    dictate(1, "we use Kubernetes daily");
    ASSERT_EQ(prompts().size(), promptsBefore + 1) << "whisper-cli got the vocabulary as its prompt";
    EXPECT_TRUE(prompts().last().contains("Kubernetes")) << prompts().last().toStdString();

    // Another computer adds a term; nobody opens the settings here.
    writeVocabulary({kubernetes, QJsonObject{{"id", "6F9619FF-8B86-D011-B42D-00C04FC964FF"}, {"spelling", "Velmora"},
                                             {"variants", QJsonArray{"fell more a"}}}});
    bundle().hear("fell more a is ready");
    dictate(2, "we use Kubernetes daily Velmora is ready");
    EXPECT_TRUE(prompts().last().contains("Velmora")) << prompts().last().toStdString();
    bundle().hear("We ship kubernetis on Friday.");
    launchAgain({"--quit"});
    EXPECT_TRUE(velmora->waitForFinished(10000));
}

// A panel that starts after Velmora (a race at login): the window Velmora fell back to
// goes, and the tray icon takes over.
TEST_F(Desktop, WithoutATrayAtFirstATrayThatComesLaterTakesOver)
{
    QProcess* velmora = start();
    ASSERT_TRUE(waitForLog(velmora, "no system tray found")) << output(velmora).toStdString();
    ASSERT_TRUE(test::waitUntil([] { return popover().has_value(); }, 5s)) << "the window shows at start";
    QTest::qWait(3000);

    QProcess trayer;
    trayer.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
                            "--SetDockType", "true", "--SetPartialStrut", "true", "--transparent", "false"});
    ASSERT_TRUE(trayer.waitForStarted());
    ASSERT_TRUE(waitForLog(velmora, "a system tray appeared")) << output(velmora).toStdString();
    ASSERT_TRUE(waitForLog(velmora, "tray icon visible")) << output(velmora).toStdString();
    EXPECT_TRUE(test::waitUntil([] { return !popover(); }, 5s)) << "the window is gone";

    // The icon is the interface now: a second launch opens the popover below the panel.
    launchAgain({});
    ASSERT_TRUE(test::waitUntil([] { return popover().has_value(); }, 5s)) << output(velmora).toStdString();
    EXPECT_GT(popover()->top(), 20) << "a popover below the panel, not the window";
    xdotool({"key", "ctrl+q"});
    ASSERT_TRUE(velmora->waitForFinished(10000));
    trayer.terminate();
    trayer.waitForFinished(5000);
}

} // namespace

#include "DesktopTests.moc"
