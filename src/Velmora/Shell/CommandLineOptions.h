#pragma once

#include <QStringList>

namespace velmora {

// The options of the application mode. `--toggle`, `--show` and `--quit` are commands for
// the running copy: a second launch hands them over as its request's arguments,
// and a first launch runs them once it is ready.
struct CommandLineOptions {
    static inline const QString toggle = QStringLiteral("--toggle");
    static inline const QString show = QStringLiteral("--show");
    static inline const QString quit = QStringLiteral("--quit");

    QStringList commands; // in the order given
    bool help = false;
    QStringList unknown;  // options no one here knows; Qt's own (-platform ...) are left alone

    static CommandLineOptions parse(const QStringList& arguments); // arguments[0] is the program
    static QString usage();
};

} // namespace velmora
