#pragma once

#include "Engine/BundledWhisperRuntime.h"
#include "Engine/WhisperConfiguration.h"

#include "Platform/FileProbe.h"

#include <optional>

namespace velmora {

// The engine paths that work right now, before a start: the shipped whisper-cli,
// else the configured one if it can run, else the default location; the configured
// model if it exists, else the managed one. The language is kept.
WhisperConfiguration restoredRuntime(const WhisperConfiguration& current, const QString& managedModelPath,
                                     const std::optional<BundledWhisperRuntime>& shipped,
                                     const platform::FileProbe& probe = platform::FileProbe::system());

} // namespace velmora
