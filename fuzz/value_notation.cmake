korvand_add_fuzzer(value_notation
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/value_notation.cpp
  LIBS korvand_asn1)
