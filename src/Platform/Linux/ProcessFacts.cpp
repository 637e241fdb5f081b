#include "Platform/ProcessFacts.h"

#include <dirent.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

namespace velmora::platform {
namespace {

std::optional<std::string> linkTarget(const std::string& path)
{
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (length <= 0 || length >= ssize_t(sizeof buffer))
        return std::nullopt;
    return std::string(buffer, size_t(length));
}

} // namespace

std::optional<ProcessFacts> ProcessFacts::of(qint32 pid)
{
    if (pid <= 0)
        return std::nullopt;
    const std::string base = "/proc/" + std::to_string(pid);
    const auto executable = linkTarget(base + "/exe");
    if (!executable)
        return std::nullopt; // gone, or another user's
    ProcessFacts facts;
    std::string name = executable->substr(executable->rfind('/') + 1);
    if (const auto deleted = name.find(" (deleted)"); deleted != std::string::npos)
        name.erase(deleted); // upgraded while running: still the same program
    facts.executableName = QString::fromStdString(name);

    DIR* descriptors = ::opendir((base + "/fd").c_str());
    if (!descriptors)
        return facts;
    constexpr int limit = 4096;
    int seen = 0;
    while (const dirent* entry = ::readdir(descriptors)) {
        if (entry->d_name[0] == '.')
            continue;
        if (++seen > limit)
            break;
        // Every pseudo-terminal master is opened through the multiplexer.
        const auto target = linkTarget(base + "/fd/" + entry->d_name);
        if (target && (*target == "/dev/ptmx" || *target == "/dev/pts/ptmx")) {
            facts.holdsPseudoTerminal = true;
            break;
        }
    }
    ::closedir(descriptors);
    return facts;
}

} // namespace velmora::platform
