#include "SDL2DeviceLookup.h"

#include "Platform/Linux/SharedLibrary.h"

namespace velmora::SDL2DeviceLookup {

std::optional<int> captureDeviceIndex(const QString& deviceName, const QString& sdl2Path)
{
    const auto library = platform::SharedLibrary::open(sdl2Path);
    if (!library)
        return std::nullopt;
    using Init = int (*)(quint32);
    using Count = int (*)(int);
    using Name = const char* (*)(int, int);
    using Quit = void (*)(quint32);
    const auto init = library->function<Init>("SDL_Init");
    const auto count = library->function<Count>("SDL_GetNumAudioDevices");
    const auto name = library->function<Name>("SDL_GetAudioDeviceName");
    const auto quit = library->function<Quit>("SDL_QuitSubSystem");
    constexpr quint32 audio = 0x10;
    std::optional<int> found;
    if (init && count && name && quit && init(audio) == 0) {
        const QString wanted = deviceName.toLower();
        const int devices = count(1);
        for (int index = 0; index < devices && !found; ++index) {
            const char* candidate = name(index, 1);
            if (!candidate)
                continue;
            const QString lowered = QString::fromUtf8(candidate).toLower();
            if (wanted.contains(lowered) || lowered.contains(wanted))
                found = index;
        }
        quit(audio);
    }
    return found;
}

} // namespace velmora::SDL2DeviceLookup
