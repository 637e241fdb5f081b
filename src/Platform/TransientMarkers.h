#pragma once

#include "Platform/SelectionReader.h"

#include <vector>

namespace velmora::platform {

// The formats a paste's short-lived text carries so that clipboard histories
// skip it, each with the value its reader looks for:
// - x-kde-passwordManagerHint "secret": Klipper, newer CopyQ, and on Wayland
//   every history fed by `wl-paste --watch` (it then reports the state "sensitive");
// - application/x-copyq-hidden "1": CopyQ up to 6 (Debian 12's), which ignores the hint above;
// - application/x-copyq-secret "1": CopyQ's own secret marker in later versions.
const std::vector<SelectionFormat>& transientMarkers();
// Whether contents carry any of them: a paste's text, or a password manager's entry.
bool carriesTransientMarker(const std::vector<SelectionFormat>& formats);

} // namespace velmora::platform
