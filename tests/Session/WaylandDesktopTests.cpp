// A dictation on a Wayland desktop, as its user makes it: the rig's headless
// sway runs `velmora --toggle` from a key binding, the speech goes into the
// rig's microphone, and the text lands in a native Wayland window while the
// clipboard ends up holding exactly what it held before.
#include "DictationBundle.h"
#include "PortalStandIn.h"
#include "SwayRig.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

const QString said = "Dictated on Wayland.";

QString env(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}


// Every type on the clipboard with its bytes, as a Wayland program reads them.
QList<std::pair<QString, QByteArray>> clipboard()
{
    QList<std::pair<QString, QByteArray>> held;
    const auto types = QString::fromUtf8(test::runProcess("wl-paste", {"--list-types"}).standardOutput);
    for (const QString& type : types.split('\n', Qt::SkipEmptyParts))
        held.append({type, test::runProcess("wl-paste", {"--no-newline", "--type", type}).standardOutput});
    return held;
}

// Velmora from a bundle whose whisper-cli hears `said`, the settings of a user
// who inserts into the window in front, and that window: a native Wayland one.
class WaylandDesktop : public ::testing::Test {
protected:
    test::DictationBundle bundle{said, said};
    QProcess velmora, target;
    QByteArray log;
    QString typed = env("TMPDIR") + "/typed.txt";

    void SetUp() override
    {
        ASSERT_GT(QFileInfo(bundle.spoken).size(), 10000) << "espeak-ng made the speech";
        QDir().mkpath(env("XDG_CONFIG_HOME") + "/Velmora");
        test::writeFile(env("XDG_CONFIG_HOME") + "/Velmora/preferences.json",
                        QJsonDocument(QJsonObject{{"velmora.autoCopyToClipboard", false},
                                                  {"velmora.directInsert", true},
                                                  {"velmora.soundEffectsEnabled", false}})
                            .toJson());
        QFile::remove(test::activationLogPath());
        QFile::remove(typed);
    }
    void TearDown() override
    {
        velmora.terminate();
        test::waitUntil([&] { return velmora.state() == QProcess::NotRunning; }, 15s);
        target.kill();
        target.waitForFinished(5000);
    }
    bool logged(const char* line)
    {
        return test::waitUntil([&] { return (log += velmora.readAll()).contains(line); }, 20s);
    }
    void startVelmora(const std::function<void(QProcessEnvironment&)>& session = {})
    {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VELMORA_MODEL_PATH", bundle.model);
        if (session)
            session(environment);
        velmora.setProcessEnvironment(environment);
        velmora.setProcessChannelMode(QProcess::MergedChannels);
        velmora.start(bundle.executable, {});
        ASSERT_TRUE(logged("Velmora is running")) << log.toStdString();
        // Without a tray Velmora shows its window once; the user then goes back to work.
        ASSERT_TRUE(logged("no system tray found")) << log.toStdString();
    }
    void openTarget()
    {
        auto wayland = QProcessEnvironment::systemEnvironment();
        wayland.insert("QT_QPA_PLATFORM", "wayland");
        target.setProcessEnvironment(wayland);
        target.start(VELMORA_PASTE_TARGET, {"window", typed});
        ASSERT_TRUE(test::waitUntil([&] { return test::swayFocusedAppId() == "PasteTarget"; }, 10s))
            << test::swayFocusedAppId().toStdString();
    }
    // Started by `toggle` from `source`, spoken to, stopped the same way: the text lands in the
    // target, which then holds `expected` (by default the one dictation).
    void dictate(const std::function<void()>& toggle, const QString& source, int nth = 1, QString expected = said)
    {
        toggle();
        ASSERT_TRUE(test::waitUntil([&] {
            return test::countActivations("startRequested", source) == nth && test::countActivations("started") == nth;
        }, 10s)) << (log += velmora.readAll()).toStdString();
        test::runProcess(env("VELMORA_RIG_FEED_MIC"), {bundle.spoken}, QProcessEnvironment::systemEnvironment(), 30s);
        toggle();
        ASSERT_TRUE(test::waitUntil([&] { return test::readFile(typed) == expected.toUtf8(); }, 30s))
            << test::readFile(typed).toStdString() << (log += velmora.readAll()).toStdString();
    }
};

TEST_F(WaylandDesktop, ABoundToggleDictatesIntoANativeWaylandWindowAndKeepsTheClipboard)
{
    // The user's clipboard: a picture copied in a Wayland program (wl-copy serves it from the background).
    QByteArray png(5000, '\0');
    for (int i = 0; i < png.size(); ++i)
        png[i] = char(i * 13 + 1);
    test::writeFile(env("TMPDIR") + "/picture.png", png);
    ASSERT_EQ(test::runProcess("sh", {"-c", "wl-copy --type image/png < \"$TMPDIR/picture.png\""}).exitCode, 0);
    const auto before = clipboard();
    ASSERT_EQ(before, (QList<std::pair<QString, QByteArray>>{{"image/png", png}}));

    // Every offer as a Wayland clipboard history sees it: its types, one line each.
    const QString offers = env("TMPDIR") + "/offers.txt";
    QProcess history;
    history.start("wl-paste", {"--watch", "sh", "-c", "wl-paste --list-types | tr '\\n' ' ' >> \"$0\"; echo >> \"$0\"", offers});
    ASSERT_TRUE(history.waitForStarted());

    startVelmora();
    EXPECT_TRUE(log.contains("clipboardBackend=wayland-data-control")) << "the session's choice is logged";
    openTarget();
    // The desktop's own shortcut runs the toggle; the key comes from the seat's (virtual) keyboard.
    ASSERT_EQ(test::runProcess("swaymsg", {"bindsym", "ctrl+space", "exec", bundle.executable + " --toggle"}).exitCode, 0);
    const auto hotKey = [] { test::runProcess("wtype", {"-M", "ctrl", "-k", "space", "-m", "ctrl"}); };
    dictate(hotKey, "commandLine");
    EXPECT_EQ(test::swayFocusedAppId(), "PasteTarget") << "the window in front stayed in front";
    // A second dictation into the same field does not run into the first.
    ASSERT_TRUE(test::waitUntil([&] { return test::countActivations("transcriptionCompleted") == 1; }, 10s));
    dictate(hotKey, "commandLine", 2, said + " " + said);
    EXPECT_TRUE(test::waitUntil([&] { return clipboard() == before; }, 10s)) << "the user's picture is back, byte for byte";

    // The transcript's offer (the only text one: auto-copy is off) carried every marker.
    history.terminate();
    history.waitForFinished(5000);
    const QStringList seen = QString::fromUtf8(test::readFile(offers)).split('\n', Qt::SkipEmptyParts);
    int textOffers = 0;
    for (const QString& offer : seen) {
        const QStringList types = offer.split(' ', Qt::SkipEmptyParts);
        if (!types.contains("text/plain"))
            continue;
        ++textOffers;
        for (const char* marker : {"x-kde-passwordManagerHint", "application/x-copyq-hidden", "application/x-copyq-secret"})
            EXPECT_TRUE(types.contains(marker)) << marker << " missing from " << offer.toStdString();
    }
    EXPECT_GE(textOffers, 1) << seen.join(" | ").toStdString();
}

// A terminal that names itself as no list knows (foot under an app-id of the user's)
// gets the keys that paste there: the text, then the Return, reach its shell.
TEST_F(WaylandDesktop, ATerminalUnderANameOnNoListGetsTheDictation)
{
    startVelmora();
    // Its window, shown at start, first; the user then goes back to work.
    ASSERT_TRUE(test::waitUntil([] {
        return test::runProcess("swaymsg", {"-t", "get_tree"}).standardOutput.contains("\"instance\": \"velmora\"");
    }, 10s));
    QFile::remove(typed);
    target.start("foot", {"--app-id=scratchpad", "sh", "-c", "IFS= read -r line; printf %s \"$line\" > \"$0\"", typed});
    ASSERT_TRUE(test::waitUntil([&] { return test::swayFocusedAppId() == "scratchpad"; }, 10s))
        << test::swayFocusedAppId().toStdString();
    ASSERT_EQ(test::runProcess("swaymsg", {"bindsym", "ctrl+space", "exec", bundle.executable + " --toggle"}).exitCode, 0);
    const auto hotKey = [] { test::runProcess("wtype", {"-M", "ctrl", "-k", "space", "-m", "ctrl"}); };
    hotKey();
    ASSERT_TRUE(test::waitUntil([&] { return test::countActivations("started") == 1; }, 10s))
        << (log += velmora.readAll()).toStdString();
    test::runProcess(env("VELMORA_RIG_FEED_MIC"), {bundle.spoken}, QProcessEnvironment::systemEnvironment(), 30s);
    hotKey();
    ASSERT_TRUE(test::waitUntil([&] { return test::countActivations("transcriptionCompleted") == 1; }, 30s))
        << (log += velmora.readAll()).toStdString();
    QTest::qWait(300);
    test::runProcess("wtype", {"-k", "Return"});
    ASSERT_TRUE(test::waitUntil([&] { return QFileInfo::exists(typed); }, 10s)) << (log += velmora.readAll()).toStdString();
    EXPECT_EQ(test::readFile(typed), said.toUtf8());
}

// Where the desktop portal offers global shortcuts, Velmora binds its hot key
// there, and the portal's Activated starts and stops a dictation. Velmora is
// told of no sway IPC, as on other wlroots desktops: the window in front then
// comes from foreign-toplevel.
TEST_F(WaylandDesktop, ThePortalsShortcutStartsAndStopsADictation)
{
    test::PortalStandIn portal;
    ASSERT_TRUE(portal.isServing());
    startVelmora([](QProcessEnvironment& environment) {
        environment.remove("SWAYSOCK");
        environment.insert("XDG_CURRENT_DESKTOP", "wlroots");
    });
    EXPECT_TRUE(log.contains("globalShortcutBackend=portal")) << log.toStdString();
    EXPECT_TRUE(log.contains("frontmostBackend=wlr-foreign-toplevel")) << log.toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return portal.bindRequests.size() == 1; }, 10s)) << portal.calls.join(' ').toStdString();
    EXPECT_EQ(portal.bindRequests.first().properties.value("preferred_trigger").toString(), "CTRL+space");
    openTarget();
    dictate([&] { portal.activate("toggle-dictation"); }, "globalHotKey");

    velmora.terminate();
    EXPECT_TRUE(test::waitUntil([&] { return velmora.state() == QProcess::NotRunning; }, 15s));
    EXPECT_TRUE(portal.sessions.isEmpty()) << "the portal session is closed on quit: " << portal.calls.join(" ").toStdString() << " open: " << portal.sessions.join(" ").toStdString();
}

} // namespace
