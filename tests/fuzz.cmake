# libFuzzer targets for the pattern matcher, the knowledge base reader and the
# lookup index (see veklog_fuzz_target in CMakeLists.txt).
veklog_fuzz_target(fuzz_pattern veklog_knowledge pattern_corpus)
veklog_fuzz_target(fuzz_loader veklog_knowledge loader_corpus)
veklog_fuzz_target(fuzz_index veklog_knowledge index_corpus)
