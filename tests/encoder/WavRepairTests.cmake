quillon_add_test(wavrepair_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/WavRepairTest.cpp
  LIBS quillon_wavrepair quillon_common
  LABELS encoder robust)

if(TARGET encoder)
  quillon_add_test(encoder_robust_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/EncoderCrashSafetyTest.cpp ${CMAKE_CURRENT_LIST_DIR}/EncoderTestSupport.cpp
    LIBS encoder quillon_wavrepair
    LABELS encoder robust)
endif()
