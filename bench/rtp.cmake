korvand_add_bench(bench_rtp SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/rtp_bench.cpp LIBS korvand_asn1 korvand_board)
target_compile_definitions(bench_rtp PRIVATE KORVAND_BINARY="$<TARGET_FILE:korvand>")
add_dependencies(bench_rtp korvand)
