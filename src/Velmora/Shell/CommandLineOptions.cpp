#include "CommandLineOptions.h"

namespace velmora {

CommandLineOptions CommandLineOptions::parse(const QStringList& arguments)
{
    CommandLineOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == toggle || argument == show || argument == quit)
            options.commands << argument;
        else if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            options.help = true;
        else if (argument.startsWith(QLatin1String("--")))
            options.unknown << argument;
    }
    return options;
}

QString CommandLineOptions::usage()
{
    return QStringLiteral(
        "Usage: velmora [--toggle | --show | --quit]\n"
        "\n"
        "Velmora lives in the system tray and turns speech into text.\n"
        "\n"
        "  --toggle        start or stop a dictation, as the hot key does; starts Velmora\n"
        "                  first when it is not running. Bind it to a key in your desktop's\n"
        "                  keyboard settings where the hot key cannot be registered.\n"
        "  --show          show Velmora's window next to its tray icon\n"
        "  --quit          quit the running copy, unless it is in the middle of a dictation\n"
        "  --dump-runtime  print which speech tools, models and input backends are used\n"
        "  -h, --help      show this help\n");
}

} // namespace velmora
