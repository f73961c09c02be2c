korvand_add_fuzzer(per_lgcp
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/per_lgcp.cpp
  LIBS korvand_asn1)
