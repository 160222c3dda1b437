# End-to-end tests of the built program, driven with xdotool, each on a
# display of its own so that the focus they move is theirs alone. The longest
# start first (COST), beside the many short ones.
add_test(NAME e2e_window COMMAND ${VEKLOG_TEST_DIR}/with_display.sh bash
         ${VEKLOG_TEST_DIR}/e2e_window.sh $<TARGET_FILE:veklog> ${PROJECT_SOURCE_DIR}/data)
set_tests_properties(e2e_window PROPERTIES TIMEOUT 120 COST 10)
add_test(NAME e2e_follow COMMAND ${VEKLOG_TEST_DIR}/with_display.sh bash
         ${VEKLOG_TEST_DIR}/e2e_follow.sh $<TARGET_FILE:veklog> ${PROJECT_SOURCE_DIR}/data)
set_tests_properties(e2e_follow PROPERTIES TIMEOUT 120 COST 5)
