korvand_add_fuzzer(snmp_agent
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/snmp_agent.cpp
  LIBS korvand_monitoring)
