korvand_add_bench(bench_radio SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/radio_bench.cpp LIBS korvand_rtp)
# The LGCP framing helpers it shares name the daemon binary.
target_compile_definitions(bench_radio PRIVATE KORVAND_BINARY="$<TARGET_FILE:korvand>")
