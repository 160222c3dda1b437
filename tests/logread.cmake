# Tests of the log reader and the shared opener; no toolkit, no display.
veklog_test(logread_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/logread_test.cxx LIBS veklog_logread)
