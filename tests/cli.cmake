# Tests of veklog-explain and of the knowledge base checker: the pieces on
# their own, the built program end to end without a display, and the shipped
# knowledge base checked clean.
veklog_test(kbcheck_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/kbcheck_test.cxx LIBS veklog_knowledge)
veklog_test(cli_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_test.cxx
            ${CMAKE_CURRENT_LIST_DIR}/cli_check_test.cxx LIBS veklog_cli)
add_test(NAME e2e_explain
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e_explain.sh $<TARGET_FILE:veklog-explain>
                 ${PROJECT_SOURCE_DIR} $<$<TARGET_EXISTS:veklog>:$<TARGET_FILE:veklog>>)
set_tests_properties(e2e_explain PROPERTIES TIMEOUT 120 COST 12)
add_test(NAME e2e_sources
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e_sources.sh $<TARGET_FILE:veklog-explain>
                 ${PROJECT_SOURCE_DIR})
set_tests_properties(e2e_sources PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77 COST 4)
# A collector on loopback, with the real journal-remote and journal-upload.
add_test(NAME e2e_remote
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e_remote.sh $<TARGET_FILE:veklog-explain>
                 ${PROJECT_SOURCE_DIR})
set_tests_properties(e2e_remote PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77 COST 2)
# CI keeps the shipped knowledge base clean.
add_test(NAME check_kb_shipped
         COMMAND veklog-explain --check-kb ${PROJECT_SOURCE_DIR}/data/errors.xml
                 --samples ${CMAKE_CURRENT_LIST_DIR}/data/item_lines.txt)
set_tests_properties(check_kb_shipped PROPERTIES FAIL_REGULAR_EXPRESSION ": (error|warning): ")
# With the window: --diagnose against the window's own Diagnose, under the
# test display.
if(TARGET veklog_app)
  veklog_test(cli_window_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_window_test.cxx
              LIBS veklog_app veklog_cli)
  target_compile_definitions(cli_window_tests PRIVATE
    VEKLOG_EXPLAIN="$<TARGET_FILE:veklog-explain>")
  add_dependencies(cli_window_tests veklog-explain)
endif()
