#pragma once

namespace velmora::platform {

// Why the sound server could not do what was asked, in the terms callers decide on.
enum class SoundServerError {
    noServer,     // nothing is listening: no PipeWire or PulseAudio is running
    accessDenied, // a server is there and refuses this client
    noSuchSource, // the named input is not (or no longer) there
    fileFailed,   // the recording file could not be created
    failed,       // anything else the server reported
};

} // namespace velmora::platform
