#include "WtypeKeyInjector.h"

#include "ChildProcess.h"

#include <QStandardPaths>

#include <xkbcommon/xkbcommon-keysyms.h>

#include <poll.h>

namespace velmora::platform {

WtypeKeyInjector::WtypeKeyInjector(QString program)
    : m_program(std::move(program))
{
}

bool WtypeKeyInjector::canPost()
{
    return !QStandardPaths::findExecutable(m_program).isEmpty() || m_program.startsWith(QLatin1Char('/'));
}

QStringList WtypeKeyInjector::argumentsFor(PasteChord chord)
{
    // wtype names modifiers by their own words and keys by their keysym names.
    const auto modifier = [](std::uint32_t keysym) {
        return keysym == XKB_KEY_Shift_L ? QStringLiteral("shift") : QStringLiteral("ctrl");
    };
    const ChordKeys keys = keysOf(chord);
    QStringList arguments;
    for (const std::uint32_t held : keys.held)
        arguments << QStringLiteral("-M") << modifier(held);
    arguments << QStringLiteral("-k") << (keys.key == XKB_KEY_Insert ? QStringLiteral("Insert") : QStringLiteral("v"));
    for (auto it = keys.held.rbegin(); it != keys.held.rend(); ++it)
        arguments << QStringLiteral("-m") << modifier(*it);
    return arguments;
}

std::optional<KeyInjectionError> WtypeKeyInjector::paste(PasteChord chord, std::chrono::milliseconds,
                                                          const PasteGate& beforeKeys)
{
    if (beforeKeys && !beforeKeys())
        return KeyInjectionError::withdrawn;
    const QString program = m_program.startsWith(QLatin1Char('/')) ? m_program : QStandardPaths::findExecutable(m_program);
    if (program.isEmpty())
        return KeyInjectionError::unavailable;
    auto spawned = ChildProcess::spawn({program, argumentsFor(chord), std::nullopt});
    auto* child = std::get_if<std::unique_ptr<ChildProcess>>(&spawned);
    if (!child)
        return KeyInjectionError::unavailable;
    // wtype ends at once; one that hangs (a compositor that stopped answering) is given up on.
    pollfd ended{(*child)->pidFd(), POLLIN, 0};
    if (::poll(&ended, 1, 5000) <= 0)
        return KeyInjectionError::refused; // the child is killed as it goes
    return (*child)->wait().isSuccess() ? std::nullopt : std::optional(KeyInjectionError::refused);
}

} // namespace velmora::platform
