korvand_add_bench(bench_slots SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/slots_bench.cpp LIBS korvand_slots)
target_compile_definitions(bench_slots PRIVATE KORVAND_BINARY="$<TARGET_FILE:korvand>")
add_dependencies(bench_slots korvand)
