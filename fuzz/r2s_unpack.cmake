korvand_add_fuzzer(r2s_unpack SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/r2s_unpack.cpp LIBS korvand_rtp)
