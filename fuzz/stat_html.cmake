korvand_add_fuzzer(stat_html SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/stat_html.cpp LIBS korvand_protocol)
