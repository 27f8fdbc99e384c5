# Effects chain throughput; the plain per-sample reference loop of the tests runs alongside
# as the peer measured in the same run.
quillon_add_bench(effects_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/effects/EffectsBench.cpp
          ${PROJECT_SOURCE_DIR}/tests/effects/ReferenceChain.cpp
  LIBS effects)
target_include_directories(effects_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/effects)
target_compile_options(effects_bench PRIVATE -ffp-contract=off)
