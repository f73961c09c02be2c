korvand_add_bench(bench_value_memory SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/value_memory_bench.cpp LIBS korvand_asn1)
target_compile_definitions(bench_value_memory PRIVATE KORVAND_BINARY="$<TARGET_FILE:korvand>")
add_dependencies(bench_value_memory korvand)
