# Preferences: rc file choice, reading, address list and saving. Some cases
# fork a child that drops to an unprivileged user, so the suite runs as root.
veklog_test(prefs_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/prefs_test.cxx
  LIBS veklog_prefs)
