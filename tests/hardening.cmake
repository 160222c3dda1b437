# Hardening: the bad-input matrix (every case bounded in time, every result
# defined), libFuzzer targets for the rc-file and log readers with their seed
# corpora replayed by CTest, and a leak-checked end-to-end run under valgrind.
veklog_test(hardening_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/hardening_log.cxx
    ${CMAKE_CURRENT_LIST_DIR}/hardening_knowledge.cxx
    ${CMAKE_CURRENT_LIST_DIR}/hardening_prefs.cxx
  LIBS veklog_app
  TIMEOUT 240)

# libFuzzer targets for the rc-file reader and the log reader, built only when
# the compiler takes -fsanitize=fuzzer (clang). Their libraries are compiled
# again with coverage instrumentation; CTest replays each seed corpus.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer,address,undefined")
set(CMAKE_REQUIRED_LINK_OPTIONS "-fsanitize=fuzzer,address,undefined")
check_cxx_source_compiles("
#include <stdint.h>
#include <stddef.h>
extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }
" VEKLOG_HARDENING_LIBFUZZER)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)

if(VEKLOG_HARDENING_LIBFUZZER)
  set(_fuzz_flags -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
  # lib: the library to rebuild instrumented; what it links besides stays as is.
  function(veklog_fuzz_target name lib corpus)
    get_target_property(srcs ${lib} SOURCES)
    get_target_property(srcdir ${lib} SOURCE_DIR)
    set(files)
    foreach(s ${srcs})
      if(s MATCHES "\\.cxx$")
        list(APPEND files ${srcdir}/${s})
      endif()
    endforeach()
    get_target_property(libs ${lib} LINK_LIBRARIES)
    add_library(${lib}_fuzzing STATIC ${files})
    target_link_libraries(${lib}_fuzzing PUBLIC ${libs})
    target_compile_options(${lib}_fuzzing PRIVATE
      -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_executable(${name} ${CMAKE_CURRENT_LIST_DIR}/fuzz_extra/${name}.cxx)
    target_link_libraries(${name} PRIVATE ${lib}_fuzzing veklog_options)
    target_compile_options(${name} PRIVATE ${_fuzz_flags})
    target_link_options(${name} PRIVATE ${_fuzz_flags})
    add_test(NAME ${name}_corpus
      COMMAND ${name} -runs=0 ${CMAKE_CURRENT_LIST_DIR}/fuzz_extra/${corpus})
    set_tests_properties(${name}_corpus PROPERTIES TIMEOUT 120)
  endfunction()
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
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/valgrind_e2e.sh $<TARGET_FILE:veklog> ${PROJECT_SOURCE_DIR})
  set_tests_properties(valgrind_e2e PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endif()
