#pragma once

#include "Platform/KeyInjector.h"

#include <QString>

namespace velmora::platform {

// Paste keys for Wayland windows through the virtual-keyboard protocol, sent by
// Debian's wtype as a child process (wlroots compositors). The seat's modifier
// state is not visible to a client without a window, so nothing is waited for:
// by the time a transcript is ready the shortcut's keys are long up.
class WtypeKeyInjector : public KeyInjector {
public:
    explicit WtypeKeyInjector(QString program = QStringLiteral("wtype"));

    bool canPost() override;
    [[nodiscard]] std::optional<KeyInjectionError> paste(PasteChord chord, std::chrono::milliseconds patience,
                                                         const PasteGate& beforeKeys = {}) override;

    static QStringList argumentsFor(PasteChord chord);

private:
    QString m_program;
};

} // namespace velmora::platform
