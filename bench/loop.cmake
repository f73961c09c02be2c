korvand_add_bench(bench_loop SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/loop_bench.cpp LIBS korvand_runtime)
