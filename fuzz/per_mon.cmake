korvand_add_fuzzer(per_mon
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/per_mon.cpp
  LIBS korvand_asn1)
