korvand_add_fuzzer(dsp_events SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/dsp_events.cpp LIBS korvand_hardware)
