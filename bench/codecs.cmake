# Encode throughput of the compressed WAV codecs, as real-time factors.
quillon_add_bench(codecs_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/codecs/CodecsBench.cpp
  LIBS encoder)
