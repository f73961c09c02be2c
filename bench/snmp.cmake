korvand_add_bench(bench_snmp SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/snmp_bench.cpp LIBS korvand_monitoring)
