#pragma once

#include <QString>

namespace velmora::platform {

namespace SystemInformation {

// The C library's version ("2.36"): what decides whether a build runs on this system.
QString cLibraryVersion();

} // namespace SystemInformation

} // namespace velmora::platform
