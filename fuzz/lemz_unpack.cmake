korvand_add_fuzzer(lemz_unpack SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/lemz_unpack.cpp LIBS korvand_rtp)
