korvand_add_bench(bench_ss7
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ss7_bench.cpp
          ${CMAKE_SOURCE_DIR}/tests/links/hdlc_pair.cpp
          ${CMAKE_SOURCE_DIR}/tests/support/test_clock.cpp
  LIBS korvand_links)
