korvand_add_bench(bench_slot_churn SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/slot_churn_bench.cpp LIBS korvand_asn1)
target_compile_definitions(bench_slot_churn PRIVATE KORVAND_BINARY="$<TARGET_FILE:korvand>")
add_dependencies(bench_slot_churn korvand)
