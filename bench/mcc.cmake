korvand_add_bench(bench_mcc SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/mcc_bench.cpp LIBS korvand_asn1 korvand_board)
target_compile_definitions(bench_mcc PRIVATE KORVAND_BINARY="$<TARGET_FILE:korvand>")
add_dependencies(bench_mcc korvand)
