korvand_add_fuzzer(lapd_receive SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/lapd_receive.cpp LIBS korvand_links)
