# libFuzzer targets for the pattern matcher and the knowledge base reader.
# Built only when the compiler takes -fsanitize=fuzzer (clang); CTest then
# replays their seed corpora, so every seed stays a regression case.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer,address,undefined")
set(CMAKE_REQUIRED_LINK_OPTIONS "-fsanitize=fuzzer,address,undefined")
check_cxx_source_compiles("
#include <stdint.h>
#include <stddef.h>
extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }
" VEKLOG_HAVE_LIBFUZZER)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)

if(VEKLOG_HAVE_LIBFUZZER)
  set(VEKLOG_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
  # The library again, instrumented for coverage.
  add_library(veklog_knowledge_fuzzing STATIC
    ${PROJECT_SOURCE_DIR}/knowledge/ErrorXML.cxx
    ${PROJECT_SOURCE_DIR}/knowledge/ItemIndex.cxx
    ${PROJECT_SOURCE_DIR}/knowledge/pattern.cxx
    ${PROJECT_SOURCE_DIR}/knowledge/strutil.cxx)
  target_link_libraries(veklog_knowledge_fuzzing PUBLIC veklog_logread veklog_options)
  target_compile_options(veklog_knowledge_fuzzing PRIVATE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_compile_definitions(veklog_knowledge_fuzzing PRIVATE
    VEKLOG_DATADIR="${VEKLOG_DATADIR}")
  foreach(target pattern loader index)
    add_executable(fuzz_${target} ${CMAKE_CURRENT_LIST_DIR}/fuzz/fuzz_${target}.cxx)
    target_link_libraries(fuzz_${target} PRIVATE veklog_knowledge_fuzzing veklog_options)
    target_compile_options(fuzz_${target} PRIVATE ${VEKLOG_FUZZ_FLAGS})
    target_link_options(fuzz_${target} PRIVATE ${VEKLOG_FUZZ_FLAGS})
    add_test(NAME fuzz_${target}_corpus
      COMMAND fuzz_${target} -runs=0 ${CMAKE_CURRENT_LIST_DIR}/fuzz/${target}_corpus)
    set_tests_properties(fuzz_${target}_corpus PROPERTIES TIMEOUT 120)
  endforeach()
endif()
