korvand_add_fuzzer(lapd_nt SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/lapd_nt.cpp LIBS korvand_links)
