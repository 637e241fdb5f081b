#pragma once

#include <QIcon>

namespace velmora::TrayIconArt {

// Drawn at run time at every size a tray asks for. Panels are light or dark and
// a tray icon cannot know which, so every glyph carries its own contrast: light
// shapes with a dark rim, or white on a filled disc.
QIcon idleIcon();      // a waveform
QIcon hoveredIcon();   // white microphone on a green disc
QIcon recordingIcon(); // white microphone on a red disc
// One frame of the transcribing spinner; `frame` counts from 0 to spinnerFrames - 1.
QIcon spinnerIcon(int frame);
inline constexpr int spinnerFrames = 12;
// The application's own icon for windows and the About text.
QIcon applicationIcon();

} // namespace velmora::TrayIconArt
