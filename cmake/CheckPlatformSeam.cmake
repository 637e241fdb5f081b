# Fails the build when code above the platform layer includes a system or
# platform-library header itself: such calls belong behind a type in src/Platform.
#   cmake -DROOTS="dir;dir" -P CheckPlatformSeam.cmake
set(_forbidden "sys/[a-z_/]+\\.h|pulse/[a-z_-]+\\.h|sndfile\\.h|dlfcn\\.h|unistd\\.h|fcntl\\.h|poll\\.h|spawn\\.h|sched\\.h|netinet/[a-z_]+\\.h|arpa/[a-z_]+\\.h|X11/[A-Za-z_]+\\.h|xcb/[a-z_]+\\.h|xkbcommon/[a-z_-]+\\.h")
set(_found "")
foreach(_root IN LISTS ROOTS)
  file(GLOB_RECURSE _files "${_root}/*.h" "${_root}/*.cpp")
  foreach(_file IN LISTS _files)
    file(STRINGS "${_file}" _lines REGEX "^[ \t]*#[ \t]*include[ \t]*<(${_forbidden})>")
    foreach(_line IN LISTS _lines)
      string(APPEND _found "\n  ${_file}: ${_line}")
    endforeach()
  endforeach()
endforeach()
if(_found)
  message(FATAL_ERROR "System and platform-library headers belong in src/Platform/Linux, "
                      "behind a small type; included above it:${_found}")
endif()
