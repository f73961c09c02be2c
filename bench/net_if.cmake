korvand_add_bench(bench_net_if SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/net_if_bench.cpp LIBS korvand_monitoring)
