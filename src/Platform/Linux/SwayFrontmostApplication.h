#pragma once

#include "Platform/FrontmostApplicationSource.h"

namespace velmora::platform {

// The focused window as sway tells it over its IPC socket (SWAYSOCK): Wayland
// windows and XWayland ones alike, which the X11 view of the session cannot see.
class SwayFrontmostApplication : public FrontmostApplicationSource {
public:
    explicit SwayFrontmostApplication(QString socketPath);

    std::optional<FrontmostApplication> current() override;

    // The focused window of a tree as sway's GET_TREE answers it.
    static std::optional<FrontmostApplication> focusedIn(const QByteArray& tree);

private:
    QString m_socketPath;
};

} // namespace velmora::platform
