# Hardening: the bad-input matrix (every case bounded in time, every result
# defined), libFuzzer targets for the rc-file and log readers with their seed
# corpora replayed by CTest, and a leak-checked end-to-end run under valgrind.
veklog_test(hardening_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/hardening_log.cxx
    ${CMAKE_CURRENT_LIST_DIR}/hardening_knowledge.cxx
    ${CMAKE_CURRENT_LIST_DIR}/hardening_prefs.cxx
  LIBS veklog_app
  TIMEOUT 240
  # Knowledge bases of 100,000 items.
  HEAVY BadKnowledge.HundredThousandItemsLoadAndMatchInBoundedTime
        BadKnowledge.ManyItemsSharingATextStayQuickOnALongLine)

# libFuzzer targets for the rc-file reader and the log reader (see
# veklog_fuzz_target in CMakeLists.txt).
if(VEKLOG_HAVE_LIBFUZZER)
  veklog_fuzz_target(fuzz_rcfile veklog_prefs rcfile_corpus)
  veklog_fuzz_target(fuzz_logreader veklog_logread log_corpus)
endif()

# The whole program under valgrind's leak checker, driven like a user would.
# Not in the sanitizer build: valgrind cannot run an address-sanitized program.
find_program(VEKLOG_VALGRIND valgrind)
find_program(VEKLOG_XDOTOOL xdotool)
find_program(VEKLOG_CONVERT convert)
if(VEKLOG_VALGRIND AND VEKLOG_XDOTOOL AND VEKLOG_CONVERT AND NOT VEKLOG_SANITIZE)
  add_test(NAME valgrind_e2e
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/with_display.sh bash ${CMAKE_CURRENT_LIST_DIR}/valgrind_e2e.sh
            $<TARGET_FILE:veklog> ${PROJECT_SOURCE_DIR})
  set_tests_properties(valgrind_e2e PROPERTIES TIMEOUT 300 COST 40)
endif()
