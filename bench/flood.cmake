korvand_add_bench(bench_flood SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/flood_bench.cpp LIBS korvand_hardware)
