#pragma once

#include <QString>

namespace velmora {

// The one speech model Velmora installs. The download source and checksum
// join this record with the model installer.
struct PinnedWhisperModel {
    QString fileName;

    static PinnedWhisperModel largeV3TurboQ5();
};

} // namespace velmora
