korvand_add_bench(bench_per SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/per_bench.cpp LIBS korvand_asn1)
