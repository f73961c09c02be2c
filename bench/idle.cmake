korvand_add_bench(bench_idle SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/idle_bench.cpp LIBS korvand_runtime)
target_compile_definitions(bench_idle PRIVATE KORVAND_BINARY="$<TARGET_FILE:korvand>")
add_dependencies(bench_idle korvand)
