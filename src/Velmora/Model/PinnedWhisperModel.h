#pragma once

#include <QString>
#include <QUrl>

namespace velmora {

// The one speech model Velmora installs, pinned to a revision and checksum.
struct PinnedWhisperModel {
    QString fileName;
    QUrl url;
    QString sha256; // 64 lower-case hexadecimal digits
    qint64 byteCount = 0;

    bool operator==(const PinnedWhisperModel&) const = default;

    static PinnedWhisperModel largeV3TurboQ5();
};

} // namespace velmora
