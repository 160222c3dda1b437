# Tests of the shipped knowledge base and sample log (data/), of Diagnose on
# hand-written logs of common failures, and of both against the server's
# message catalog and real log lines (tests/data/), and Diagnose over the
# staged incident logs (tests/data/staged/).
veklog_test(data_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/data_errors_xml.cxx
    ${CMAKE_CURRENT_LIST_DIR}/data_diagnose.cxx
    ${CMAKE_CURRENT_LIST_DIR}/data_real.cxx
    ${CMAKE_CURRENT_LIST_DIR}/data_staged.cxx
  LIBS veklog_knowledge veklog_logread)
