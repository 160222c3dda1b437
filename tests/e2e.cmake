# End-to-end tests of the built program, driven with xdotool under the
# display that the test run provides. They share that display, so one at a time.
add_test(NAME e2e_window COMMAND bash ${VEKLOG_TEST_DIR}/e2e_window.sh $<TARGET_FILE:veklog>
         ${PROJECT_SOURCE_DIR}/data)
set_tests_properties(e2e_window PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
add_test(NAME e2e_follow COMMAND bash ${VEKLOG_TEST_DIR}/e2e_follow.sh $<TARGET_FILE:veklog>
         ${PROJECT_SOURCE_DIR}/data)
set_tests_properties(e2e_follow PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
