#include "SDL2DeviceLookup.h"

#include <QFile>

#include <dlfcn.h>

namespace velmora::SDL2DeviceLookup {

std::optional<int> captureDeviceIndex(const QString& deviceName, const QString& sdl2Path)
{
    int flags = RTLD_LAZY | RTLD_LOCAL;
#ifdef __SANITIZE_ADDRESS__
    // Keep it mapped after dlclose so the leak checker can name SDL's own leaks.
    flags |= RTLD_NODELETE;
#endif
    void* library = ::dlopen(QFile::encodeName(sdl2Path).constData(), flags);
    if (!library)
        return std::nullopt;
    using Init = int (*)(quint32);
    using Count = int (*)(int);
    using Name = const char* (*)(int, int);
    using Quit = void (*)(quint32);
    const auto init = reinterpret_cast<Init>(::dlsym(library, "SDL_Init"));
    const auto count = reinterpret_cast<Count>(::dlsym(library, "SDL_GetNumAudioDevices"));
    const auto name = reinterpret_cast<Name>(::dlsym(library, "SDL_GetAudioDeviceName"));
    const auto quit = reinterpret_cast<Quit>(::dlsym(library, "SDL_QuitSubSystem"));
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
    ::dlclose(library);
    return found;
}

} // namespace velmora::SDL2DeviceLookup
