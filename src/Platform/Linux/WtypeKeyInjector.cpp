#include "WtypeKeyInjector.h"

#include "ChildProcess.h"

#include <QStandardPaths>

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
    switch (chord) {
    case PasteChord::controlV:
        return {QStringLiteral("-M"), QStringLiteral("ctrl"), QStringLiteral("-k"), QStringLiteral("v"),
                QStringLiteral("-m"), QStringLiteral("ctrl")};
    case PasteChord::controlShiftV:
        return {QStringLiteral("-M"), QStringLiteral("ctrl"), QStringLiteral("-M"), QStringLiteral("shift"),
                QStringLiteral("-k"), QStringLiteral("v"), QStringLiteral("-m"), QStringLiteral("shift"),
                QStringLiteral("-m"), QStringLiteral("ctrl")};
    case PasteChord::shiftInsert:
        return {QStringLiteral("-M"), QStringLiteral("shift"), QStringLiteral("-k"), QStringLiteral("Insert"),
                QStringLiteral("-m"), QStringLiteral("shift")};
    }
    return {};
}

std::optional<KeyInjectionError> WtypeKeyInjector::paste(PasteChord chord, std::chrono::milliseconds)
{
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
