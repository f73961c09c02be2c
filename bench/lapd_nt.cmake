korvand_add_bench(bench_lapd_nt
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/lapd_nt_bench.cpp
          ${CMAKE_SOURCE_DIR}/tests/links/hdlc_pair.cpp
          ${CMAKE_SOURCE_DIR}/tests/support/test_clock.cpp
  LIBS korvand_links)
