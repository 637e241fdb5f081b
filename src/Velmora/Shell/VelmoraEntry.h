#pragma once

#include <QStringList>

namespace velmora {

// Tells the three launch modes apart before anything else is built.
class VelmoraEntry {
public:
    // Returns the process's exit status.
    static int main(int argc, char** argv);

    enum class LaunchMode { host, dumpRuntime, finishUpdate, application };
    static LaunchMode launchMode(const QStringList& arguments);
};

} // namespace velmora
