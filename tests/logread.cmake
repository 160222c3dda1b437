# Tests of the log reader, the shared opener, finding a text in lines and
# what the whole log holds; no toolkit, no display.
veklog_test(logread_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/logread_test.cxx
            ${CMAKE_CURRENT_LIST_DIR}/find_test.cxx LIBS veklog_journal)
# The journal as a source, where the log is, lines by host; the fixtures need
# systemd-journal-remote (scripts/deps.sh).
veklog_test(journal_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/journal_test.cxx LIBS veklog_journal)
