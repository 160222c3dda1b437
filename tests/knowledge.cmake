# Tests of the knowledge base: model and scoring, Diagnose, the pattern
# matcher and the file reader. They link neither the toolkit nor X11, which
# proves that the knowledge base needs neither; the toolkit's own matcher, a
# second opinion on ours, is tried in a program of its own.
veklog_test(knowledge_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/knowledge_model.cxx
    ${CMAKE_CURRENT_LIST_DIR}/knowledge_pattern.cxx
    ${CMAKE_CURRENT_LIST_DIR}/knowledge_parse.cxx
    ${CMAKE_CURRENT_LIST_DIR}/knowledge_finder.cxx
    ${CMAKE_CURRENT_LIST_DIR}/knowledge_loader.cxx
    ${CMAKE_CURRENT_LIST_DIR}/knowledge_diagnosis.cxx
  LIBS veklog_knowledge)
if(VEKLOG_GUI)
  veklog_test(knowledge_toolkit_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/knowledge_toolkit.cxx
    LIBS veklog_knowledge veklog_fltk)
endif()
