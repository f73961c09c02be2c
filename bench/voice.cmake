korvand_add_bench(bench_voice SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/voice_bench.cpp LIBS korvand_asn1 korvand_board)
target_compile_definitions(bench_voice PRIVATE KORVAND_BINARY="$<TARGET_FILE:korvand>")
add_dependencies(bench_voice korvand)
