korvand_add_fuzzer(slot_commands
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/slot_commands.cpp
  LIBS korvand_slots)
