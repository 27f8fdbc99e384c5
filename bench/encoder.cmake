# Encoder throughput: capture-sized blocks through EncoderWAV into /dev/null, PCM to PCM at
# several depths and with resampling; a plain write of the same blocks is the peer.
quillon_add_bench(encoder_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/encoder/EncoderBench.cpp
  LIBS encoder)
