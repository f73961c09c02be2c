korvand_add_fuzzer(signalling_slots
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/signalling_slots.cpp
  LIBS korvand_slots)
