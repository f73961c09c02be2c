korvand_add_fuzzer(voice_names SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/voice_names.cpp LIBS korvand_slots)
