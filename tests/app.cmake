veklog_test(app_test SOURCES ${VEKLOG_TEST_DIR}/app_test.cxx ${VEKLOG_TEST_DIR}/explain_test.cxx ${VEKLOG_TEST_DIR}/follow_test.cxx LIBS veklog_app TIMEOUT 180)
