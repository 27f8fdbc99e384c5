quillon_add_test(wavrepair_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/WavRepairTest.cpp
  LIBS quillon_wavrepair
  LABELS encoder robust)
