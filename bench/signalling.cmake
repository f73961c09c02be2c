korvand_add_bench(bench_signalling SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/signalling_bench.cpp
  LIBS korvand_links korvand_asn1 korvand_board)
target_compile_definitions(bench_signalling PRIVATE KORVAND_BINARY="$<TARGET_FILE:korvand>")
add_dependencies(bench_signalling korvand)
