# Hardening: the bad-input matrix (every case bounded in time, every result
# defined), libFuzzer targets for the rc-file and log readers with their seed
# corpora replayed by CTest, and a leak-checked end-to-end run under valgrind.
veklog_test(hardening_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/hardening_child.cxx
    ${CMAKE_CURRENT_LIST_DIR}/hardening_log.cxx
    ${CMAKE_CURRENT_LIST_DIR}/hardening_knowledge.cxx
    ${CMAKE_CURRENT_LIST_DIR}/hardening_prefs.cxx
  LIBS veklog_app
  TIMEOUT 240)
