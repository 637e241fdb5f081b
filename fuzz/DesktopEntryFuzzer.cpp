// libFuzzer target: any text as a desktop entry's Exec and Name values, and as a whole entry.
#include "LaunchAtLogin/DesktopEntryExec.h"
#include "Platform/Linux/ApplicationName.h"

#include <cstddef>
#include <cstdint>

using namespace LaunchAtLogin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)velmora::platform::ApplicationName::nameInDesktopEntry(bytes);
    const QString value = QString::fromUtf8(bytes);
    // What a desktop would run, quoted again, runs the same.
    if (const auto arguments = DesktopEntryExec::split(value)) {
        const auto again = DesktopEntryExec::split(DesktopEntryExec::quote(*arguments));
        if (!again || *again != *arguments)
            __builtin_trap();
    }
    // Any arguments we write are read back as written.
    const QStringList ours = value.split(QLatin1Char('\n'));
    if (!ours.contains(QString())) {
        const auto read = DesktopEntryExec::split(DesktopEntryExec::quote(ours));
        if (!read || *read != ours)
            __builtin_trap();
    }
    if (DesktopEntryExec::unescapeString(DesktopEntryExec::escapeString(value)) != value)
        __builtin_trap();
    return 0;
}
