#pragma once

#include "Audio/AudioInputDevice.h"
#include "Audio/AudioRecorderError.h"

#include <QString>

#include <functional>
#include <optional>
#include <variant>

namespace velmora {

// The microphone as a batch dictation uses it: start into a new WAV file, stop and
// get the finished file. Completions arrive later, on the main thread.
class DictationRecorder {
public:
    using Result = std::variant<QString, AudioRecorderError>;
    using Completion = std::function<void(const Result&)>;

    virtual ~DictationRecorder() = default;
    virtual void startRecording(const std::optional<AudioInputDevice>& device, Completion done) = 0;
    virtual void stopRecording(Completion done) = 0;
};

} // namespace velmora
