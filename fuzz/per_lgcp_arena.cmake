korvand_add_fuzzer(per_lgcp_arena
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/per_lgcp_arena.cpp
  LIBS korvand_asn1_pool)
