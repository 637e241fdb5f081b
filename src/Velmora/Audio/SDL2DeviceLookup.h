#pragma once

#include <QString>

#include <optional>

namespace velmora {

// whisper-stream picks its microphone by SDL2's capture index; this asks the
// very SDL2 library shipped beside it, loaded just for the question.
namespace SDL2DeviceLookup {

// The first capture device whose name contains the wanted one or is
// contained in it, case-insensitively; none when the library or device is missing.
std::optional<int> captureDeviceIndex(const QString& deviceName, const QString& sdl2Path);

} // namespace SDL2DeviceLookup

} // namespace velmora
