# Compiles with zig for the target in SARFAN_ZIG_TARGET (e.g. aarch64-linux-gnu.2.17),
# through the wrappers in SARFAN_ZIG_BIN (tools/wheels/zig_env.sh writes them). Both come
# from the environment so that CMake's own test projects see them too.
set(_zig_bin "$ENV{SARFAN_ZIG_BIN}")
set(_zig_target "$ENV{SARFAN_ZIG_TARGET}")
if(NOT _zig_bin OR NOT _zig_target)
  message(FATAL_ERROR "ZigToolchain.cmake needs SARFAN_ZIG_BIN and SARFAN_ZIG_TARGET set")
endif()
set(CMAKE_C_COMPILER "${_zig_bin}/cc")
set(CMAKE_CXX_COMPILER "${_zig_bin}/c++")
set(CMAKE_AR "${_zig_bin}/ar" CACHE FILEPATH "")
set(CMAKE_RANLIB "${_zig_bin}/ranlib" CACHE FILEPATH "")

string(REGEX MATCH "^[^-]+" _zig_arch "${_zig_target}")
if(_zig_target MATCHES "-linux-")
  set(_zig_system Linux)
elseif(_zig_target MATCHES "-windows-")
  set(_zig_system Windows)
elseif(_zig_target MATCHES "-macos")
  set(_zig_system Darwin)
endif()
# Only another processor or system makes this a cross build: the x86-64 wheels' build
# programs (the NFC table generator) still run here.
if(NOT _zig_arch STREQUAL CMAKE_HOST_SYSTEM_PROCESSOR OR NOT _zig_system STREQUAL CMAKE_HOST_SYSTEM_NAME)
  set(CMAKE_SYSTEM_NAME "${_zig_system}")
  set(CMAKE_SYSTEM_PROCESSOR "${_zig_arch}")
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
endif()
