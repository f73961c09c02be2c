korvand_add_fuzzer(lgcpc_decode
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/lgcpc_decode.cpp
  LIBS korvand_lgcpc)
