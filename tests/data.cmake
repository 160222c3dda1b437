# Tests of the shipped knowledge base and sample log (data/), and of Diagnose
# on hand-written logs of common failures (tests/data/).
veklog_test(data_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/data_errors_xml.cxx
    ${CMAKE_CURRENT_LIST_DIR}/data_diagnose.cxx
  LIBS veklog_knowledge)
