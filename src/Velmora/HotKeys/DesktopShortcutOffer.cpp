#include "DesktopShortcutOffer.h"

#include "HotKeyModeStore.h"
#include "StandardHotKeySettingsStore.h"

#include "HotKeyCore/HotKeyDisplay.h"
#include "Platform/DesktopSession.h"
#include "Platform/Linux/GnomeCustomShortcut.h"
#include "Platform/LogCategories.h"
#include "Platform/MainThread.h"
#include "Platform/PreferencesStore.h"
#include "Preferences/PreferenceKeys.h"

#include <QMessageBox>
#include <QThreadPool>

namespace velmora {

bool DesktopShortcutOffer::shouldOffer(const platform::SessionBackends& session, bool offeredBefore,
                                       const HotKeyCore::HotKeySettings& settings, HotKeyMode mode)
{
    return session.kind == platform::SessionBackends::Kind::wayland && session.compositor == QLatin1String("gnome")
           && session.globalShortcut.name != QLatin1String("portal") && !offeredBefore && settings.isEnabled
           && mode == HotKeyMode::combination;
}

QString DesktopShortcutOffer::toggleCommand(const QString& executable)
{
    // GNOME splits the command as a shell would: a path with spaces or quotes is single-quoted.
    static const QString plain = QStringLiteral("/._-+:@%");
    const bool simple = std::all_of(executable.cbegin(), executable.cend(),
                                    [](QChar c) { return c.isLetterOrNumber() || plain.contains(c); });
    const QString quoted = simple ? executable
                                  : QLatin1Char('\'') + QString(executable).replace(QLatin1Char('\''), QStringLiteral("'\\''"))
                                        + QLatin1Char('\'');
    return quoted + QStringLiteral(" --toggle");
}

void DesktopShortcutOffer::offerIfUseful(platform::PreferencesStore& defaults, const QString& executable)
{
    const auto settings = standardHotKeySettingsStore(defaults).load();
    const bool offeredBefore = defaults.boolValue(PreferenceKeys::desktopShortcutOffered).value_or(false);
    if (!shouldOffer(platform::DesktopSession::backends(), offeredBefore, settings,
                     HotKeyModeStore::standard(defaults).mode()))
        return;
    const auto accelerator = platform::GnomeCustomShortcut::acceleratorFor(settings.keyCode, settings.modifiers);
    if (!accelerator || executable.isEmpty())
        return;
    if (defaults.setBool(PreferenceKeys::desktopShortcutOffered, true))
        qCWarning(logging::hotKey) << "could not remember that the GNOME shortcut was offered";
    const QString shortcut = HotKeyCore::hotKeyDisplayString(settings);
    auto* question = new QMessageBox(
        QMessageBox::Question, QStringLiteral("Velmora"),
        QStringLiteral("Add %1 to GNOME's keyboard shortcuts?").arg(shortcut), QMessageBox::Yes | QMessageBox::No);
    question->setInformativeText(
        QStringLiteral("On GNOME's Wayland sessions Velmora's hot key only works while a Velmora or other X11 window "
                       "is in front. GNOME can run the dictation toggle on %1 in every window. You can change or remove "
                       "it later in Settings, Keyboard, Custom Shortcuts.")
            .arg(shortcut));
    question->setAttribute(Qt::WA_DeleteOnClose);
    const QString command = toggleCommand(executable);
    QObject::connect(question, &QMessageBox::finished, [command, binding = *accelerator, shortcut](int answer) {
        if (answer != QMessageBox::Yes)
            return;
        // GSettings waits for dconf to store the change: not on the main thread.
        QThreadPool::globalInstance()->start([command, binding, shortcut] {
            const auto error = platform::GnomeCustomShortcut::bind(command, binding);
            platform::postToMainThread([error, shortcut] {
                auto* told = new QMessageBox(error ? QMessageBox::Warning : QMessageBox::Information, QStringLiteral("Velmora"),
                                             error ? platform::GnomeCustomShortcut::describe(*error)
                                                   : QStringLiteral("GNOME now starts and stops a dictation on %1.").arg(shortcut));
                told->setAttribute(Qt::WA_DeleteOnClose);
                told->show();
            });
        });
    });
    question->show();
}

} // namespace velmora
