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

if(NOT UTF8PROC_INCLUDE_DIR OR NOT UTF8PROC_STATIC_LIBRARY)
  message(FATAL_ERROR
    "utf8proc (header and static libutf8proc.a) not found. Run `make setup`, or pass "
    "-DSARFAN_UTF8PROC_ROOT=<prefix> to a utf8proc 2.10+ installation.")
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
  message(FATAL_ERROR
    "utf8proc ${UTF8PROC_VERSION} found in ${UTF8PROC_INCLUDE_DIR}, but sarfan needs 2.10 "
    "or later (Unicode 16 data). Run `make setup` to install a current one under .deps/.")
endif()
message(STATUS "utf8proc ${UTF8PROC_VERSION}: ${UTF8PROC_STATIC_LIBRARY}")

add_library(sarfan_utf8proc STATIC IMPORTED GLOBAL)
set_target_properties(sarfan_utf8proc PROPERTIES
  IMPORTED_LOCATION "${UTF8PROC_STATIC_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${UTF8PROC_INCLUDE_DIR}"
  INTERFACE_COMPILE_DEFINITIONS "UTF8PROC_STATIC")
