# Tests of the knowledge base: model and scoring, the pattern matcher (with the
# toolkit's own matcher as a second opinion) and the file reader.
veklog_test(knowledge_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/knowledge_model.cxx
    ${CMAKE_CURRENT_LIST_DIR}/knowledge_pattern.cxx
    ${CMAKE_CURRENT_LIST_DIR}/knowledge_loader.cxx
  LIBS veklog_knowledge $<$<BOOL:${VEKLOG_GUI}>:veklog_fltk>)
