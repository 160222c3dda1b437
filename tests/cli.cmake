# Tests of veklog-explain and of the knowledge base checker: the pieces on
# their own, the built program end to end without a display, and the shipped
# knowledge base checked clean.
veklog_test(kbcheck_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/kbcheck_test.cxx LIBS veklog_knowledge)
veklog_test(cli_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_test.cxx LIBS veklog_cli)
