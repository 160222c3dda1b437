veklog_test(app_test SOURCES ${VEKLOG_TEST_DIR}/app_test.cxx ${VEKLOG_TEST_DIR}/pane_test.cxx
            ${VEKLOG_TEST_DIR}/follow_test.cxx ${VEKLOG_TEST_DIR}/window_test.cxx
            ${VEKLOG_TEST_DIR}/sources_test.cxx LIBS veklog_app TIMEOUT 180)
# The pane's own pages, which need neither the toolkit nor the knowledge base.
veklog_test(pages_test SOURCES ${VEKLOG_TEST_DIR}/pages_test.cxx LIBS veklog_pages)
