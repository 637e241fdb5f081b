#pragma once

namespace velmora {

// Velmora is in front: one of its windows is active or has the keyboard focus.
bool ownApplicationHasFocus();

} // namespace velmora
