korvand_add_fuzzer(tpkt_tracer SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tpkt_tracer.cpp LIBS korvand_protocol)
