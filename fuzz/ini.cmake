korvand_add_fuzzer(ini SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ini.cpp LIBS korvand_runtime)
