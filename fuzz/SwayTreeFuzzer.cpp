// libFuzzer target: any bytes as sway's answer to GET_TREE.
#include "Platform/Linux/SwayFrontmostApplication.h"

#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Application names are looked up in empty folders, not this machine's.
    static QTemporaryDir data;
    setenv("XDG_DATA_HOME", qPrintable(data.path()), 1);
    setenv("XDG_DATA_DIRS", qPrintable(data.path()), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto found = velmora::platform::SwayFrontmostApplication::focusedIn(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    // A window without an application identity is still a window, but never named by a title.
    if (found && found->name && !found->identifier)
        __builtin_trap();
    return 0;
}
