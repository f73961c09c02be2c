korvand_add_fuzzer(ctrl_server
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ctrl_server.cpp
  LIBS korvand_core)
