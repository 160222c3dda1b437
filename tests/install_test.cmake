# Installation and packaging: the desktop files pass their validators, an
# install into a temporary prefix is complete and runs, the Debian package
# builds clean.
set(_veklog_pkg ${PROJECT_SOURCE_DIR}/packaging)

find_program(VEKLOG_DESKTOP_FILE_VALIDATE desktop-file-validate)
if(VEKLOG_DESKTOP_FILE_VALIDATE)
  add_test(NAME install.desktop_entry_validates
           COMMAND ${VEKLOG_DESKTOP_FILE_VALIDATE} ${_veklog_pkg}/veklog.desktop)
  # The validator prints its complaints but exits 0 for mere hints.
  set_tests_properties(install.desktop_entry_validates PROPERTIES
                       FAIL_REGULAR_EXPRESSION "error|warning|hint")
endif()

find_program(VEKLOG_APPSTREAMCLI appstreamcli)
if(VEKLOG_APPSTREAMCLI)
  add_test(NAME install.metainfo_validates
           COMMAND ${VEKLOG_APPSTREAMCLI} validate --no-net --pedantic
                   ${_veklog_pkg}/org.veklog.veklog.metainfo.xml)
endif()

add_test(NAME install.tree_is_complete
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/install_tree.sh
                 ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}
                 ${CMAKE_INSTALL_PREFIX} ${VEKLOG_DATADIR})

find_program(VEKLOG_XDOTOOL xdotool)
find_program(VEKLOG_IMPORT import)
find_program(VEKLOG_XPROP xprop)
find_program(VEKLOG_COMPARE compare)
if(VEKLOG_XDOTOOL AND VEKLOG_IMPORT AND VEKLOG_XPROP AND VEKLOG_COMPARE)
  add_test(NAME install.menu_entry_starts_the_program
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/with_display.sh
                   sh ${CMAKE_CURRENT_SOURCE_DIR}/install_run.sh menu ${PROJECT_BINARY_DIR})
  add_test(NAME install.program_finds_its_knowledge_base
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/with_display.sh
                   sh ${CMAKE_CURRENT_SOURCE_DIR}/install_run.sh knowledge ${PROJECT_BINARY_DIR}
                   ${CMAKE_INSTALL_PREFIX} ${VEKLOG_DATADIR})
  # Both look for their window by class, each on a display of its own.
  set_tests_properties(install.menu_entry_starts_the_program
                       install.program_finds_its_knowledge_base PROPERTIES TIMEOUT 120 COST 8)
endif()

find_program(VEKLOG_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(VEKLOG_DPKG_DEB dpkg-deb)
if(VEKLOG_DPKG_SHLIBDEPS AND VEKLOG_DPKG_DEB)
  add_test(NAME install.debian_package_builds_clean
           COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/install_package.sh ${PROJECT_SOURCE_DIR})
  # The longest test of all: it starts first.
  set_tests_properties(install.debian_package_builds_clean PROPERTIES TIMEOUT 600 COST 60)
endif()
