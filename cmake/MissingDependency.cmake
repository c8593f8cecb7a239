# Stops the configuration for a missing library, its arguments joined into one text. The
# first line is a plain "error: ..." that pip's output shows before CMake's own trace,
# naming the library and its package.
function(sarfan_missing_dependency)
  string(JOIN "" text ${ARGN})
  message(NOTICE "error: ${text}")
  message(FATAL_ERROR "${text}")
endfunction()
