korvand_add_fuzzer(lgcpc_input
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/lgcpc_input.cpp
  LIBS korvand_lgcpc)
