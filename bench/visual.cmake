# Visualisation: one 1024-point transform with its 513 magnitudes, and one display tick.
quillon_add_bench(visual_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/VisualBench.cpp
  LIBS visual)
