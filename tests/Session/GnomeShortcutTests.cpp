// GNOME's custom keyboard shortcut for `velmora --toggle`, written through
// GSettings with its memory back-end and GNOME's own schemas: the user's own
// shortcuts stay, Velmora's entry is listed once.
#include "HotKeys/DesktopShortcutOffer.h"
#include "Platform/DesktopSession.h"
#include "Platform/Linux/GnomeCustomShortcut.h"
#include "Platform/MemoryPreferencesStore.h"
#include "Preferences/PreferenceKeys.h"

#include "TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

#undef signals
#include <gio/gio.h>

#include <gtest/gtest.h>

using namespace velmora::platform;

namespace {

const char* const listSchema = "org.gnome.settings-daemon.plugins.media-keys";
const char* const entrySchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";

bool gnomeSchemasInstalled()
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, listSchema, TRUE) : nullptr;
    if (schema)
        g_settings_schema_unref(schema);
    return schema != nullptr;
}

QStringList listed()
{
    GSettings* list = g_settings_new(listSchema);
    gchar** entries = g_settings_get_strv(list, "custom-keybindings");
    QStringList paths;
    for (gchar** it = entries; *it; ++it)
        paths << QString::fromUtf8(*it);
    g_strfreev(entries);
    g_object_unref(list);
    return paths;
}

QString field(const char* path, const char* key)
{
    GSettings* entry = g_settings_new_with_path(entrySchema, path);
    gchar* value = g_settings_get_string(entry, key);
    const QString text = QString::fromUtf8(value);
    g_free(value);
    g_object_unref(entry);
    return text;
}

TEST(GnomeCustomShortcut, AddsVelmorasEntryOnceBesideTheUsersOwn)
{
    qputenv("GSETTINGS_BACKEND", "memory");
    if (!gnomeSchemasInstalled())
        GTEST_SKIP() << "GNOME's settings schemas (gnome-settings-daemon-common) are not installed";

    // The user's own shortcut, made as GNOME's settings make one.
    const char* mine = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/";
    GSettings* own = g_settings_new_with_path(entrySchema, mine);
    g_settings_set_string(own, "name", "Terminal");
    g_settings_set_string(own, "command", "foot");
    g_settings_set_string(own, "binding", "<Super>Return");
    g_object_unref(own);
    GSettings* list = g_settings_new(listSchema);
    const gchar* const entries[] = {mine, nullptr};
    g_settings_set_strv(list, "custom-keybindings", entries);
    g_object_unref(list);
    EXPECT_EQ(GnomeCustomShortcut::currentBinding(), std::nullopt);

    EXPECT_EQ(GnomeCustomShortcut::bind("/opt/Velmora/bin/velmora --toggle", "<Control>space"), std::nullopt);
    EXPECT_EQ(listed(), (QStringList{mine, GnomeCustomShortcut::path}));
    const QByteArray path = GnomeCustomShortcut::path.toUtf8();
    EXPECT_EQ(field(path, "name"), "Velmora");
    EXPECT_EQ(field(path, "command"), "/opt/Velmora/bin/velmora --toggle");
    EXPECT_EQ(GnomeCustomShortcut::currentBinding(), "<Control>space");

    // Again with another combination: updated in place, listed once, the user's untouched.
    EXPECT_EQ(GnomeCustomShortcut::bind("/opt/Velmora/bin/velmora --toggle", "<Control><Alt>d"), std::nullopt);
    EXPECT_EQ(listed(), (QStringList{mine, GnomeCustomShortcut::path}));
    EXPECT_EQ(GnomeCustomShortcut::currentBinding(), "<Control><Alt>d");
    EXPECT_EQ(field(mine, "binding"), "<Super>Return");
    EXPECT_EQ(field(mine, "command"), "foot");
}

TEST(GnomeCustomShortcut, NamesCombinationsAsGnomeDoes)
{
    EXPECT_EQ(GnomeCustomShortcut::acceleratorFor(49, 0x1000), "<Control>space");
    EXPECT_EQ(GnomeCustomShortcut::acceleratorFor(2, 0x1000 | 0x800), "<Control><Alt>d");
    EXPECT_EQ(GnomeCustomShortcut::acceleratorFor(96, 0x200 | 0x100), "<Shift><Super>F5");
    EXPECT_EQ(GnomeCustomShortcut::acceleratorFor(0xFFFF, 0x1000), std::nullopt);
}

// Asked once, and only where nothing else can bind the hot key for Wayland windows.
TEST(DesktopShortcutOffer, OffersOnlyOnGnomeWaylandWithoutAPortalAndOnlyOnce)
{
    const auto session = [](const char* desktop, const char* type, bool portal) {
        SessionFacts facts{type, desktop, QString(type) == "wayland", true};
        facts.portalGlobalShortcuts = portal;
        return SessionBackends::choose(facts);
    };
    const HotKeyCore::HotKeySettings on;
    HotKeyCore::HotKeySettings off;
    off.isEnabled = false;
    struct Case {
        const char* name;
        SessionBackends backends;
        bool offeredBefore;
        HotKeyCore::HotKeySettings settings;
        velmora::HotKeyMode mode;
        bool offers;
    };
    using velmora::HotKeyMode;
    const Case cases[] = {
        {"GNOME 43 on Wayland", session("GNOME", "wayland", false), false, on, HotKeyMode::combination, true},
        {"asked before", session("GNOME", "wayland", false), true, on, HotKeyMode::combination, false},
        {"a GNOME with the shortcut portal", session("GNOME", "wayland", true), false, on, HotKeyMode::combination, false},
        {"GNOME on Xorg", session("GNOME", "x11", false), false, on, HotKeyMode::combination, false},
        {"KDE on Wayland", session("KDE", "wayland", false), false, on, HotKeyMode::combination, false},
        {"the hot key off", session("GNOME", "wayland", false), false, off, HotKeyMode::combination, false},
        {"double tap chosen", session("GNOME", "wayland", false), false, on, HotKeyMode::doubleTap, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(velmora::DesktopShortcutOffer::shouldOffer(c.backends, c.offeredBefore, c.settings, c.mode), c.offers)
            << c.name;
}

// GNOME splits the command as a shell does: any path comes back whole.
TEST(DesktopShortcutOffer, TheCommandSurvivesGnomesParsing)
{
    for (const QString executable : {"/opt/Velmora/bin/velmora", "/home/ann/My Apps/Velmora/bin/velmora",
                                     "/home/o'brien/Applications/Velmora/bin/velmora", "/tmp/a\"b$c/velmora"}) {
        const QByteArray command = velmora::DesktopShortcutOffer::toggleCommand(executable).toUtf8();
        gint count = 0;
        gchar** words = nullptr;
        ASSERT_TRUE(g_shell_parse_argv(command.constData(), &count, &words, nullptr)) << command.toStdString();
        EXPECT_EQ(count, 2);
        EXPECT_EQ(QString::fromUtf8(words[0]), executable);
        EXPECT_STREQ(words[1], "--toggle");
        g_strfreev(words);
    }
}

// The question itself, in a session that says it is GNOME on Wayland: No
// changes nothing, Yes adds the shortcut and says so, and it is asked once.
TEST(DesktopShortcutOffer, AsksOnceAndYesAddsTheShortcut)
{
    qputenv("GSETTINGS_BACKEND", "memory");
    qputenv("XDG_SESSION_TYPE", "wayland");
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    if (!gnomeSchemasInstalled())
        GTEST_SKIP() << "GNOME's settings schemas (gnome-settings-daemon-common) are not installed";
    ASSERT_EQ(DesktopSession::backends().compositor, "gnome");
    ASSERT_NE(DesktopSession::backends().globalShortcut.name, "portal");

    const auto visible = [](const QString& text) -> QMessageBox* {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible() && box->text().contains(text))
                return box;
        return nullptr;
    };
    const auto shown = [&](const QString& text) {
        velmora::test::waitUntil([&] { return visible(text) != nullptr; }, std::chrono::seconds(5));
        return visible(text);
    };
    const QString executable = "/home/ann/My Apps/Velmora/bin/velmora";
    const std::optional<QString> before = GnomeCustomShortcut::currentBinding();

    MemoryPreferencesStore declined;
    velmora::DesktopShortcutOffer::offerIfUseful(declined, executable);
    QMessageBox* question = shown("to GNOME's keyboard shortcuts?");
    ASSERT_NE(question, nullptr);
    question->button(QMessageBox::No)->click();
    EXPECT_TRUE(velmora::test::waitUntil([&] { return visible("to GNOME's keyboard shortcuts?") == nullptr; }, std::chrono::seconds(5)));
    EXPECT_EQ(GnomeCustomShortcut::currentBinding(), before) << "No leaves GNOME's settings alone";
    EXPECT_EQ(declined.boolValue(velmora::PreferenceKeys::desktopShortcutOffered), true);
    velmora::DesktopShortcutOffer::offerIfUseful(declined, executable);
    QApplication::processEvents();
    EXPECT_EQ(visible("to GNOME's keyboard shortcuts?"), nullptr) << "asked once";

    MemoryPreferencesStore accepting;
    velmora::DesktopShortcutOffer::offerIfUseful(accepting, executable);
    question = shown("to GNOME's keyboard shortcuts?");
    ASSERT_NE(question, nullptr);
    question->button(QMessageBox::Yes)->click();
    QMessageBox* told = shown("GNOME now starts and stops a dictation on");
    ASSERT_NE(told, nullptr);
    EXPECT_EQ(GnomeCustomShortcut::currentBinding(), "<Control>space");
    EXPECT_EQ(field(GnomeCustomShortcut::path.toUtf8(), "command"), "'/home/ann/My Apps/Velmora/bin/velmora' --toggle");
    told->close();
}

} // namespace
