#pragma once

#include <QString>

#include <optional>

namespace velmora::platform {

// What a running process is, as far as pasting into its window cares.
struct ProcessFacts {
    QString executableName;          // the file name of its program ("foot", "xterm")
    bool holdsPseudoTerminal = false; // a pseudo-terminal master among its descriptors: a terminal emulator

    bool operator==(const ProcessFacts&) const = default;

    // Nothing when the process is gone or not ours to look at. Reads /proc only
    // (no disk), and at most a few thousand descriptors.
    static std::optional<ProcessFacts> of(qint32 pid);
};

} // namespace velmora::platform
