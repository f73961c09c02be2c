korvand_add_fuzzer(radio_receive SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/radio_receive.cpp LIBS korvand_rtp)
