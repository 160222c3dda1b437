veklog_test(logview_test SOURCES ${VEKLOG_TEST_DIR}/logview_test.cxx ${VEKLOG_TEST_DIR}/drawing_test.cxx LIBS veklog_logview)
