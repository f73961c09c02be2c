korvand_add_bench(bench_connection SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/connection_bench.cpp LIBS korvand_protocol)
