korvand_add_fuzzer(ss7_units SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ss7_units.cpp LIBS korvand_links)
