korvand_add_bench(bench_modem SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/modem_bench.cpp LIBS korvand_slots korvand_lgcpc)
