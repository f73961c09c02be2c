korvand_add_fuzzer(ber
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ber.cpp
  LIBS korvand_asn1)
