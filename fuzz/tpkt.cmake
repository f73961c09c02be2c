korvand_add_fuzzer(tpkt SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tpkt.cpp LIBS korvand_protocol)
