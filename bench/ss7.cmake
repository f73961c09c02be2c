# Runs SS7 links on the link test kit's pair, which the test build provides.
if(TARGET korvand_linktest)
  korvand_add_bench(bench_ss7 SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ss7_bench.cpp
    LIBS korvand_links korvand_linktest korvand_testsupport)
endif()
