korvand_add_fuzzer(sim_board SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sim_board.cpp LIBS korvand_board)
