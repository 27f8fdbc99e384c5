# Repair of WAV files left by a recording that did not end cleanly. Its own small
# library so the start-up code, the command-line tool and the fuzzer can share it.
add_library(quillon_wavrepair STATIC
  ${CMAKE_CURRENT_LIST_DIR}/WavRepair.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WavMarkers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/WavRepairFile.cpp)
target_include_directories(quillon_wavrepair PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
quillon_warnings(quillon_wavrepair)
