korvand_add_fuzzer(framer_record SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/framer_record.cpp LIBS korvand_monitoring)
