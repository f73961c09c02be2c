korvand_add_bench(bench_tpkt SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tpkt_bench.cpp LIBS korvand_protocol)
