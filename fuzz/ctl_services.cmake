korvand_add_fuzzer(ctl_services SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ctl_services.cpp LIBS korvand_hardware)
