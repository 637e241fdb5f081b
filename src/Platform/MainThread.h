#pragma once

#include <functional>

namespace velmora::platform {

// Runs `work` later on the main thread, from any thread. When the program is
// already ending (no application object any more) nobody is left to hear it,
// and `work` is dropped.
void postToMainThread(std::function<void()> work);

} // namespace velmora::platform
