# Install rules and the Debian packages: two from one build, each an install
# component. "veklog" (component window): the window program, its desktop
# entry, icons, software-centre data and manual page; it needs the toolkit.
# "veklog-explain" (component explain): the terminal program, its manual page
# and the knowledge base both programs read; it needs neither the toolkit nor
# X, so a server without a display installs it alone, and veklog depends on
# it for the knowledge base.

# The knowledge base goes where the program looks for it by default. When that
# directory lies under the install prefix it is installed relative to the
# prefix, so that `cmake --install --prefix DIR` keeps the whole tree in DIR.
string(LENGTH "${CMAKE_INSTALL_PREFIX}/" _veklog_prefix_len)
string(SUBSTRING "${VEKLOG_DATADIR}/" 0 ${_veklog_prefix_len} _veklog_head)
if(_veklog_head STREQUAL "${CMAKE_INSTALL_PREFIX}/")
  file(RELATIVE_PATH VEKLOG_INSTALL_DATADIR "${CMAKE_INSTALL_PREFIX}" "${VEKLOG_DATADIR}")
else()
  set(VEKLOG_INSTALL_DATADIR "${VEKLOG_DATADIR}")
  message(STATUS "veklog: knowledge base directory ${VEKLOG_DATADIR} lies outside "
                 "the install prefix ${CMAKE_INSTALL_PREFIX}; it is installed there as it is")
endif()

install(TARGETS veklog-explain RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT explain)
install(FILES ${PROJECT_SOURCE_DIR}/data/errors.xml
        DESTINATION ${VEKLOG_INSTALL_DATADIR}/data COMPONENT explain OPTIONAL)

set(_veklog_pkg ${PROJECT_SOURCE_DIR}/packaging)
if(TARGET veklog)
  install(TARGETS veklog RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT window)
  install(FILES ${_veklog_pkg}/veklog.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT window)
  install(FILES ${_veklog_pkg}/org.veklog.veklog.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT window)
  foreach(_size 16 32 48 128)
    install(FILES ${_veklog_pkg}/veklog-${_size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps
            RENAME veklog.png COMPONENT window)
  endforeach()
  install(FILES ${_veklog_pkg}/veklog.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT window)
endif()

# The manual pages name the data directory that this build looks in.
set(_veklog_doc ${PROJECT_BINARY_DIR}/doc)
file(MAKE_DIRECTORY ${_veklog_doc})
foreach(_page veklog.1 veklog-explain.1)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/docs/${_page})
  file(READ ${PROJECT_SOURCE_DIR}/docs/${_page} _veklog_man)
  string(REPLACE "/usr/share/tarn" "${VEKLOG_DATADIR}" _veklog_man "${_veklog_man}")
  file(CONFIGURE OUTPUT ${_veklog_doc}/${_page} CONTENT "${_veklog_man}" @ONLY)
endforeach()

# The package's changelog, in the form Debian's tools read.
set(VEKLOG_MAINTAINER "veklog maintainers <maintainers@veklog.invalid>" CACHE STRING
    "Maintainer named in the Debian package and its changelog")
set(VEKLOG_PACKAGE_VERSION "${PROJECT_VERSION}~beta1")
file(CONFIGURE OUTPUT ${_veklog_doc}/changelog CONTENT
"veklog (${VEKLOG_PACKAGE_VERSION}) unstable; urgency=medium

  * First release: a window on the print server's error log with a
    knowledge base of known messages, a desktop entry, icons and a manual
    page (package veklog); veklog-explain, its companion for terminals
    without a display, with its own manual page and the knowledge base
    (package veklog-explain).

 -- ${VEKLOG_MAINTAINER}  Tue, 08 Dec 2026 12:00:00 +0000
" @ONLY)

# Debian wants the manual page and the changelog compressed, without a name or
# time stamp in the gzip header so that rebuilds give the same bytes.
# Each package has its own documentation directory with the licence and
# the changelog.
set(_veklog_docdir_window ${CMAKE_INSTALL_DATADIR}/doc/veklog)
set(_veklog_docdir_explain ${CMAKE_INSTALL_DATADIR}/doc/veklog-explain)
find_program(VEKLOG_GZIP gzip)
if(VEKLOG_GZIP)
  add_custom_command(
    OUTPUT ${_veklog_doc}/veklog.1.gz ${_veklog_doc}/veklog-explain.1.gz
           ${_veklog_doc}/changelog.gz
    COMMAND ${VEKLOG_GZIP} -9 -n -k -f veklog.1 veklog-explain.1 changelog
    DEPENDS ${_veklog_doc}/veklog.1 ${_veklog_doc}/veklog-explain.1 ${_veklog_doc}/changelog
    WORKING_DIRECTORY ${_veklog_doc}
    COMMENT "Compressing the manual page and changelog"
    VERBATIM)
  add_custom_target(veklog_docs ALL
    DEPENDS ${_veklog_doc}/veklog.1.gz ${_veklog_doc}/veklog-explain.1.gz
            ${_veklog_doc}/changelog.gz)
  set(_veklog_gz .gz)
else()
  set(_veklog_gz "")
endif()
install(FILES ${_veklog_doc}/veklog-explain.1${_veklog_gz}
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT explain)
install(FILES ${_veklog_doc}/changelog${_veklog_gz} ${_veklog_pkg}/copyright
        DESTINATION ${_veklog_docdir_explain} COMPONENT explain)
if(TARGET veklog)
  install(FILES ${_veklog_doc}/veklog.1${_veklog_gz}
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT window)
  install(FILES ${_veklog_doc}/changelog${_veklog_gz} ${_veklog_pkg}/copyright
          DESTINATION ${_veklog_docdir_window} COMPONENT window)
endif()

# Debian packages: `cpack -G DEB` in the build directory makes one per
# component. Configure with -DCMAKE_INSTALL_PREFIX=/usr for a package, so that
# the programs' compiled-in data directory and the packages' files agree.
set(CPACK_PACKAGE_NAME veklog)
set(CPACK_PACKAGE_VENDOR "veklog")
set(CPACK_PACKAGE_VERSION "${VEKLOG_PACKAGE_VERSION}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
if(TARGET veklog)
  set(CPACK_COMPONENTS_ALL window explain)
else()
  set(CPACK_COMPONENTS_ALL explain)
endif()
# Each package's first description line is its summary.
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME veklog)
set(CPACK_DEBIAN_WINDOW_DESCRIPTION "print server error log viewer with a message knowledge base
Error Log shows the print server's error log in a window, newest line
first, filtered by severity, and keeps the view current while the server
writes to the log. Clicking a line explains it from a knowledge base of
known messages: what the message means and what to do about it. The
Diagnose command weighs every listed line, names the single most likely
remedy and selects the lines that lead to it.
.
The knowledge base comes with veklog-explain, the same tool for terminals.")
set(CPACK_COMPONENT_WINDOW_DEPENDS explain)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_EXPLAIN_PACKAGE_NAME veklog-explain)
set(CPACK_DEBIAN_EXPLAIN_PACKAGE_SOURCE veklog)
set(CPACK_DEBIAN_EXPLAIN_DESCRIPTION "explain and diagnose the print server's error log in a terminal
veklog-explain reads the print server's error log without a display: it
lists and explains the log's lines from a knowledge base of known
messages, finds lines by text or by job, names the most likely remedy,
follows the log as it is written, writes JSON Lines for scripts, gives a
monitoring system one status line, and checks an edited knowledge base.
.
This package holds the knowledge base that the window program, veklog,
reads too.")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VEKLOG_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# cpack reads this file when it runs: a Debian package belongs in /usr.
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/CPackVeklog.cmake CONTENT [=[
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
  message(WARNING "This package installs under ${CPACK_PACKAGING_INSTALL_PREFIX}; "
                  "configure with -DCMAKE_INSTALL_PREFIX=/usr for a Debian package.")
endif()
]=] @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackVeklog.cmake)
include(CPack)
