korvand_add_bench(bench_radio_codecs SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/radio_codecs_bench.cpp ${CMAKE_SOURCE_DIR}/tests/rtp/alloc_counter.cpp LIBS korvand_rtp)
