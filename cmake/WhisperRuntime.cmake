# Copies the whisper.cpp tools built by scripts/setup into the bundle's resources.
set(_runtime_out "${VELMORA_BUNDLE_RESOURCES}/WhisperRuntime")
set(_vad_model "${VELMORA_VAD_MODEL}")
if(NOT _vad_model)
  if(DEFINED ENV{VELMORA_VAD_MODEL})
    set(_vad_model "$ENV{VELMORA_VAD_MODEL}")
  else()
    set(_vad_model "${VELMORA_CACHE_DIR}/ggml-silero-v6.2.0.bin")
  endif()
endif()

if(EXISTS "${VELMORA_WHISPER_RUNTIME_DIR}/bin/whisper-cli")
  add_custom_target(whisper_runtime ALL
    COMMAND ${CMAKE_COMMAND}
      -DSRC=${VELMORA_WHISPER_RUNTIME_DIR} -DOUT=${_runtime_out} -DVAD=${_vad_model}
      -P ${CMAKE_CURRENT_LIST_DIR}/CopyWhisperRuntime.cmake
    COMMENT "Copying the whisper.cpp tools into the bundle"
    VERBATIM)
else()
  message(WARNING "No whisper.cpp tools in ${VELMORA_WHISPER_RUNTIME_DIR}: run scripts/setup. "
                  "The bundle is built without a speech runtime.")
endif()
