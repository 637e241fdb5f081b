#include "GnomeCustomShortcut.h"

#include "KeysymNames.h"

// GIO's headers name a member "signals", which Qt defines as a keyword.
#undef signals
#include <gio/gio.h>

#include <memory>

namespace velmora::platform {
namespace {

const char* const listSchema = "org.gnome.settings-daemon.plugins.media-keys";
const char* const entrySchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Settings = std::unique_ptr<GSettings, Unref>;

bool installed(const char* schema)
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return false;
    GSettingsSchema* found = g_settings_schema_source_lookup(source, schema, TRUE);
    if (!found)
        return false;
    g_settings_schema_unref(found);
    return true;
}

} // namespace

QString GnomeCustomShortcut::describe(Error error)
{
    switch (error) {
    case Error::notGnome:
        return QStringLiteral("GNOME's keyboard settings are not installed on this computer.");
    case Error::failed:
        return QStringLiteral("GNOME's keyboard settings did not take the shortcut.");
    }
    return {};
}

std::optional<GnomeCustomShortcut::Error> GnomeCustomShortcut::bind(const QString& command, const QString& binding)
{
    if (!installed(listSchema) || !installed(entrySchema))
        return Error::notGnome;
    const QByteArray entryPath = path.toUtf8();
    Settings entry(g_settings_new_with_path(entrySchema, entryPath.constData()));
    const bool written = g_settings_set_string(entry.get(), "name", "Velmora")
                         && g_settings_set_string(entry.get(), "command", command.toUtf8().constData())
                         && g_settings_set_string(entry.get(), "binding", binding.toUtf8().constData());
    if (!written)
        return Error::failed;
    // Listed once, after the user's own entries, which stay as they are.
    Settings list(g_settings_new(listSchema));
    gchar** entries = g_settings_get_strv(list.get(), "custom-keybindings");
    bool listed = false;
    GPtrArray* updated = g_ptr_array_new();
    for (gchar** it = entries; *it; ++it) {
        listed = listed || entryPath == *it;
        g_ptr_array_add(updated, *it);
    }
    if (!listed)
        g_ptr_array_add(updated, const_cast<char*>(entryPath.constData()));
    g_ptr_array_add(updated, nullptr);
    const bool saved = listed || g_settings_set_strv(list.get(), "custom-keybindings",
                                                     reinterpret_cast<const gchar* const*>(updated->pdata));
    g_ptr_array_free(updated, TRUE);
    g_strfreev(entries);
    g_settings_sync();
    return saved ? std::nullopt : std::optional(Error::failed);
}

std::optional<QString> GnomeCustomShortcut::currentBinding()
{
    if (!installed(listSchema) || !installed(entrySchema))
        return std::nullopt;
    Settings list(g_settings_new(listSchema));
    gchar** entries = g_settings_get_strv(list.get(), "custom-keybindings");
    const QByteArray entryPath = path.toUtf8();
    bool listed = false;
    for (gchar** it = entries; *it; ++it)
        listed = listed || entryPath == *it;
    g_strfreev(entries);
    if (!listed)
        return std::nullopt;
    Settings entry(g_settings_new_with_path(entrySchema, entryPath.constData()));
    gchar* binding = g_settings_get_string(entry.get(), "binding");
    const QString value = QString::fromUtf8(binding);
    g_free(binding);
    return value.isEmpty() ? std::nullopt : std::optional(value);
}

std::optional<QString> GnomeCustomShortcut::acceleratorFor(std::uint32_t classicKeyCode, std::uint32_t modifiers)
{
    const auto key = keysymNameOf(classicKeyCode);
    if (!key)
        return std::nullopt;
    QString accelerator;
    for (const auto& [mask, name] : {std::pair{0x1000u, "<Control>"}, std::pair{0x800u, "<Alt>"},
                                     std::pair{0x200u, "<Shift>"}, std::pair{0x100u, "<Super>"}})
        if (modifiers & mask)
            accelerator += QLatin1String(name);
    return accelerator + *key;
}

} // namespace velmora::platform
