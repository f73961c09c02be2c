korvand_add_fuzzer(auth_record
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/auth_record.cpp
  LIBS korvand_slots)
