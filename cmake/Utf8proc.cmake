# utf8proc 2.10 or later (Unicode 16+), linked statically so that an older system copy
# can never shadow it at run time. `make setup` unpacks a current release under .deps/.
set(SARFAN_UTF8PROC_ROOT "${PROJECT_SOURCE_DIR}/.deps/utf8proc/usr"
    CACHE PATH "Prefix holding include/utf8proc.h and the static libutf8proc.a")

find_path(UTF8PROC_INCLUDE_DIR utf8proc.h
          HINTS "${SARFAN_UTF8PROC_ROOT}/include" NO_DEFAULT_PATH)
find_path(UTF8PROC_INCLUDE_DIR utf8proc.h)
find_library(UTF8PROC_STATIC_LIBRARY NAMES libutf8proc.a
             HINTS "${SARFAN_UTF8PROC_ROOT}/lib/${CMAKE_LIBRARY_ARCHITECTURE}"
                   "${SARFAN_UTF8PROC_ROOT}/lib"
             NO_DEFAULT_PATH)
find_library(UTF8PROC_STATIC_LIBRARY NAMES libutf8proc.a)

include(${CMAKE_CURRENT_LIST_DIR}/MissingDependency.cmake)
set(_utf8proc_packages "libutf8proc-dev on Debian and Ubuntu, utf8proc-devel on Fedora, \
where it is 2.10 or later, else utf8proc built from source")
if(NOT UTF8PROC_INCLUDE_DIR OR NOT UTF8PROC_STATIC_LIBRARY)
  sarfan_missing_dependency(
    "sarfan needs utf8proc 2.10 or later with its static library libutf8proc.a, which was "
    "not found. Install it (${_utf8proc_packages}), or pass "
    "-DSARFAN_UTF8PROC_ROOT=<prefix> of an installation (in a checkout, `make setup`).")
endif()

file(STRINGS "${UTF8PROC_INCLUDE_DIR}/utf8proc.h" _utf8proc_version_lines
     REGEX "^#define UTF8PROC_VERSION_(MAJOR|MINOR|PATCH) ")
foreach(_line IN LISTS _utf8proc_version_lines)
  if(_line MATCHES "UTF8PROC_VERSION_(MAJOR|MINOR|PATCH) +([0-9]+)")
    set(_utf8proc_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
  endif()
endforeach()
set(UTF8PROC_VERSION "${_utf8proc_MAJOR}.${_utf8proc_MINOR}.${_utf8proc_PATCH}")
if(UTF8PROC_VERSION VERSION_LESS 2.10)
  sarfan_missing_dependency(
    "sarfan needs utf8proc 2.10 or later (Unicode 16 data), but ${UTF8PROC_INCLUDE_DIR} has "
    "${UTF8PROC_VERSION}. Install a current one (${_utf8proc_packages}), or pass "
    "-DSARFAN_UTF8PROC_ROOT=<prefix> of an installation (in a checkout, `make setup`).")
endif()
message(STATUS "utf8proc ${UTF8PROC_VERSION}: ${UTF8PROC_STATIC_LIBRARY}")

add_library(sarfan_utf8proc STATIC IMPORTED GLOBAL)
set_target_properties(sarfan_utf8proc PROPERTIES
  IMPORTED_LOCATION "${UTF8PROC_STATIC_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${UTF8PROC_INCLUDE_DIR}"
  INTERFACE_COMPILE_DEFINITIONS "UTF8PROC_STATIC")
