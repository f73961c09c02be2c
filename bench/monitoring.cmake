korvand_add_bench(bench_monitoring SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/monitoring_bench.cpp LIBS korvand_monitoring)
