korvand_add_fuzzer(dlogframe SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dlogframe.cpp LIBS korvand_links)
