korvand_add_bench(bench_hw_mux SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/hw_mux_bench.cpp LIBS korvand_hardware)
