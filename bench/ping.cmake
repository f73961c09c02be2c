korvand_add_bench(bench_ping SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ping_bench.cpp LIBS korvand_asn1 korvand_board korvand_runtime)
target_compile_definitions(bench_ping PRIVATE KORVAND_BINARY="$<TARGET_FILE:korvand>")
add_dependencies(bench_ping korvand)
