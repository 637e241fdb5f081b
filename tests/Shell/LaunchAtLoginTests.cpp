// Starting at login: the autostart entry on disk in the rig's temporary HOME,
// read back by our own reader and started by GLib's desktop-entry launcher as
// a desktop session starts it.
#include "LaunchAtLogin/DesktopEntryExec.h"
#include "LaunchAtLogin/LaunchAtLoginManager.h"
#include "LaunchAtLogin/LaunchAtLoginPreferenceStore.h"
#include "Preferences/PreferenceKeys.h"
#include "Shell/LaunchAtLoginPreferenceManager.h"

#include "Platform/MemoryPreferencesStore.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonValue>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;
using namespace LaunchAtLogin;
using namespace std::chrono_literals;
namespace Keys = PreferenceKeys;

namespace {

// A bundle's executable: a script that leaves a mark where it was started from.
QString makeExecutable(const QString& bundle, const QString& marks)
{
    const QString path = bundle + "/bin/velmora";
    QDir().mkpath(bundle + "/bin");
    test::writeFile(path, ("#!/bin/sh\necho \"$0\" >> '" + marks + "'\n").toUtf8(), 0755);
    return path;
}

TEST(DesktopEntryExec, QuotesWhatADesktopWouldSplitAndSplitsItBack)
{
    struct Case {
        const char* name;
        QString path;
        QString quoted; // empty: only the round trip is checked
    };
    const Case cases[] = {
        {"plain", "/opt/Velmora/bin/velmora", "/opt/Velmora/bin/velmora"},
        {"a space", "/home/a b/Applications/Velmora/bin/velmora", "\"/home/a b/Applications/Velmora/bin/velmora\""},
        {"a percent sign", "/home/u/100%/velmora", "/home/u/100%%/velmora"},
        {"a double quote", "/home/u/say \"hi\"/velmora", "\"/home/u/say \\\\\"hi\\\\\"/velmora\""},
        {"a dollar and a backtick", "/home/u/$HOME`x`/velmora", ""},
        {"a backslash", "/home/u/back\\slash/velmora", ""},
        {"an apostrophe and a hash", "/home/u/it's #1/velmora", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString value = DesktopEntryExec::quote({c.path});
        if (!c.quoted.isEmpty()) {
            EXPECT_EQ(value, c.quoted);
        }
        EXPECT_EQ(DesktopEntryExec::split(value), QStringList{c.path});
    }
    EXPECT_EQ(DesktopEntryExec::split("velmora --show %U"), (QStringList{"velmora", "--show", "%U"}));
    EXPECT_EQ(DesktopEntryExec::split("\"/unterminated/velmora"), std::nullopt);
    EXPECT_EQ(DesktopEntryExec::escapeString(" lead\\x"), "\\slead\\\\x");
    EXPECT_EQ(DesktopEntryExec::unescapeString("\\slead\\\\x"), " lead\\x");
}

struct Autostart {
    QTemporaryDir root;
    QString marks = root.path() + "/marks";
    QString folder = root.path() + "/config/autostart";
    QString ours = makeExecutable(root.path() + "/home/Applications/Velmora", marks);
    QString other = makeExecutable(root.path() + "/elsewhere/Velmora", marks);
    LaunchAtLoginManager manager{ours, folder};

    void write(const QString& text) const
    {
        QDir().mkpath(folder);
        test::writeFile(manager.entryPath(), text.toUtf8());
    }
};

TEST(LaunchAtLoginManager, AnEntryCountsOnlyWhenItIsShownAndStartsThisCopy)
{
    Autostart autostart;
    const QString oursThroughALink = autostart.root.path() + "/link-to-velmora";
    ASSERT_TRUE(QFile::link(autostart.ours, oursThroughALink));
    struct Case {
        const char* name;
        std::optional<QString> entry;
        LaunchAtLoginState state;
    };
    const auto entry = [](const QString& exec, const QString& extra = {}) {
        return "[Desktop Entry]\nType=Application\nName=Velmora\nExec=" + DesktopEntryExec::quote({exec}) + "\n" + extra;
    };
    const Case cases[] = {
        {"no entry", std::nullopt, LaunchAtLoginState::disabled},
        {"ours", QString::fromUtf8(LaunchAtLoginManager::entryText(autostart.ours)), LaunchAtLoginState::enabled},
        {"ours through a link", entry(oursThroughALink), LaunchAtLoginState::enabled},
        {"ours, hidden", entry(autostart.ours, "Hidden=true\n"), LaunchAtLoginState::disabled},
        {"ours, switched off for GNOME", entry(autostart.ours, "X-GNOME-Autostart-enabled=false\n"),
         LaunchAtLoginState::disabled},
        {"another copy's", entry(autostart.other), LaunchAtLoginState::disabled},
        {"ours in another group", "[Other]\nExec=" + autostart.ours + "\n", LaunchAtLoginState::disabled},
        {"a broken Exec", "[Desktop Entry]\nExec=\"" + autostart.ours + "\n", LaunchAtLoginState::disabled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(autostart.manager.entryPath());
        if (c.entry)
            autostart.write(*c.entry);
        EXPECT_EQ(autostart.manager.currentState(), c.state);
    }
}

TEST(LaunchAtLoginManager, UpdateWritesOrRemovesOnlyThisCopysEntry)
{
    Autostart autostart;
    LaunchAtLoginManager& manager = autostart.manager;
    const auto state = [](const auto& outcome) { return std::get<LaunchAtLoginState>(outcome); };

    EXPECT_EQ(state(manager.update(false)), LaunchAtLoginState::disabled) << "nothing to remove";
    EXPECT_FALSE(QFile::exists(manager.entryPath()));
    EXPECT_EQ(state(manager.update(true)), LaunchAtLoginState::enabled);
    const QByteArray written = test::readFile(manager.entryPath());
    EXPECT_TRUE(written.contains(("TryExec=" + autostart.ours + "\n").toUtf8())) << written.toStdString();
    EXPECT_EQ(state(manager.update(true)), LaunchAtLoginState::enabled);
    EXPECT_EQ(state(manager.update(false)), LaunchAtLoginState::disabled);
    EXPECT_FALSE(QFile::exists(manager.entryPath()));

    // Another copy's entry is left alone when turning off, replaced when turning on.
    const QByteArray others = LaunchAtLoginManager::entryText(autostart.other);
    autostart.write(QString::fromUtf8(others));
    EXPECT_EQ(state(manager.update(false)), LaunchAtLoginState::disabled);
    EXPECT_EQ(test::readFile(manager.entryPath()), others);
    EXPECT_EQ(state(manager.update(true)), LaunchAtLoginState::enabled);
    EXPECT_EQ(test::readFile(manager.entryPath()), LaunchAtLoginManager::entryText(autostart.ours));

    // A file where the autostart folder should be: the failure says so.
    LaunchAtLoginManager blocked(autostart.ours, autostart.marks + "/autostart");
    test::writeFile(autostart.marks, "a file");
    const auto outcome = blocked.update(true);
    ASSERT_TRUE(std::holds_alternative<LaunchAtLoginManagerError>(outcome));
    EXPECT_TRUE(std::get<LaunchAtLoginManagerError>(outcome).description().startsWith(
        "Could not register run-at-login: "));
}

// As a desktop session starts it: GLib reads the entry and runs its Exec line.
TEST(LaunchAtLoginManager, TheEntryStartsThisCopyTheWayADesktopDoes)
{
    QTemporaryDir root;
    const QString marks = root.path() + "/marks";
    // GLib will not load an entry whose program path holds a '%', even written as "%%".
    const QString executable = makeExecutable(root.path() + "/home/My Apps $1 \"x\"/Velmora", marks);
    LaunchAtLoginManager manager(executable, root.path() + "/autostart");
    ASSERT_EQ(std::get<LaunchAtLoginState>(manager.update(true)), LaunchAtLoginState::enabled);
    QProcess gio;
    gio.start("gio", {"launch", manager.entryPath()});
    ASSERT_TRUE(gio.waitForFinished(10000));
    EXPECT_EQ(gio.exitCode(), 0) << gio.readAllStandardError().toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(marks); }, 5s));
    EXPECT_EQ(test::readFile(marks).trimmed(), executable.toUtf8());

    // The copy is gone: TryExec makes the entry do nothing.
    QFile::remove(marks);
    QFile::remove(executable);
    gio.start("gio", {"launch", manager.entryPath()});
    ASSERT_TRUE(gio.waitForFinished(10000));
    QTest::qWait(300);
    EXPECT_FALSE(QFile::exists(marks));
}

TEST(LaunchAtLoginPreferenceStore, OnlyAStoredBooleanCounts)
{
    struct Case {
        const char* name;
        std::optional<QJsonValue> stored;
        std::optional<bool> value;
        bool loaded;
    };
    const Case cases[] = {
        {"nothing stored", std::nullopt, std::nullopt, true},
        {"true", QJsonValue(true), true, true},
        {"false", QJsonValue(false), false, false},
        {"a text", QJsonValue("no"), std::nullopt, true},
        {"a number", QJsonValue(0), std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::MemoryPreferencesStore defaults;
        if (c.stored)
            (void)defaults.setObject(Keys::launchAtLogin, *c.stored);
        const auto store = LaunchAtLoginPreferenceManager::store(defaults);
        EXPECT_EQ(store.storedValue(), c.value);
        EXPECT_EQ(store.load(true), c.loaded);
    }
}

TEST(LaunchAtLoginPreferenceManager, OnlyACopyDirectlyInAnApplicationsFolderManagesTheEntry)
{
    QTemporaryDir root;
    const QString home = root.path() + "/home";
    const QString opt = root.path() + "/opt";
    for (const QString& folder : {home + "/Applications/Velmora", home + "/Applications/Tools/Velmora",
                                  home + "/ApplicationsOld/Velmora", home + "/src/velmora/build/Velmora",
                                  opt + "/Velmora"})
        QDir().mkpath(folder);
    ASSERT_TRUE(QFile::link(opt + "/Velmora", home + "/Velmora-link"));
    ASSERT_TRUE(QFile::link(home + "/Applications/Velmora", home + "/Desktop-link"));
    struct Case {
        const char* name;
        QString bundle;
        bool manages;
    };
    const Case cases[] = {
        {"~/Applications/Velmora", home + "/Applications/Velmora", true},
        {"the same with dots", home + "/Applications/../Applications/Velmora", true},
        {"a link to ~/Applications/Velmora", home + "/Desktop-link", true},
        {"a link into /opt", home + "/Velmora-link", true},
        {"one level deeper", home + "/Applications/Tools/Velmora", false},
        {"a folder that only starts like it", home + "/ApplicationsOld/Velmora", false},
        {"a build tree", home + "/src/velmora/build/Velmora", false},
        {"a copy that is not there", home + "/Applications/Gone", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LaunchAtLoginPreferenceManager::canManageLaunchAtLogin(c.bundle, home, opt), c.manages);
    }
}

// The wish pushed to the desktop at launch and by the switch, where allowed.
TEST(LaunchAtLoginPreferenceManager, TheWishIsAppliedAtLaunchAndByTheSwitch)
{
    Autostart autostart;
    const QString home = autostart.root.path() + "/home";
    const QString installed = home + "/Applications/Velmora";
    const QString opt = autostart.root.path() + "/opt";
    const auto apply = [&](platform::PreferencesStore& defaults, const QString& bundle) {
        LaunchAtLoginPreferenceManager::apply(defaults, autostart.manager, bundle, home, opt);
    };

    // First launch of an installed copy, nothing stored: registered.
    platform::MemoryPreferencesStore defaults;
    apply(defaults, installed);
    EXPECT_EQ(autostart.manager.currentState(), LaunchAtLoginState::enabled);

    // Stored false: each launch removes an enabled entry and leaves a missing one alone.
    (void)defaults.setBool(Keys::launchAtLogin, false);
    apply(defaults, installed);
    EXPECT_FALSE(QFile::exists(autostart.manager.entryPath()));
    apply(defaults, installed);
    EXPECT_FALSE(QFile::exists(autostart.manager.entryPath()));

    // A stored non-Boolean is as if nothing were stored: on.
    (void)defaults.setString(Keys::launchAtLogin, "off");
    apply(defaults, installed);
    EXPECT_EQ(autostart.manager.currentState(), LaunchAtLoginState::enabled);

    // From the build tree the switch keeps the wish but touches nothing.
    const QString build = autostart.root.path() + "/elsewhere/Velmora";
    LaunchAtLoginPreferenceManager::setEnabled(false, defaults, autostart.manager, build, home, opt);
    EXPECT_EQ(defaults.boolValue(Keys::launchAtLogin), false);
    EXPECT_EQ(autostart.manager.currentState(), LaunchAtLoginState::enabled);
    // The installed copy's switch does both.
    LaunchAtLoginPreferenceManager::setEnabled(false, defaults, autostart.manager, installed, home, opt);
    EXPECT_EQ(autostart.manager.currentState(), LaunchAtLoginState::disabled);
    LaunchAtLoginPreferenceManager::setEnabled(true, defaults, autostart.manager, installed, home, opt);
    EXPECT_EQ(defaults.boolValue(Keys::launchAtLogin), true);
    EXPECT_EQ(autostart.manager.currentState(), LaunchAtLoginState::enabled);
}

} // namespace
