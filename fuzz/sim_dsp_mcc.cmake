korvand_add_fuzzer(sim_dsp_mcc SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sim_dsp_mcc.cpp LIBS korvand_board)
