// data_util.h - what the tests of the shipped data share: where the files
// are, their lines as the list stores them, and the shipped knowledge base.
#ifndef TESTS_DATA_UTIL_H
#define TESTS_DATA_UTIL_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "knowledge/ErrorXML.h"
#include "tests/test_util.h"

const std::string kErrorsXml = std::string(VEKLOG_SOURCE_DIR) + "/data/errors.xml";

// The file's lines as the log list stores them: newline kept, at most 10239 bytes.
inline std::vector<std::string> read_lines(const std::string &path) { return read_log(path, 2); }

// A suite that reads data/errors.xml once for all its cases.
class ShippedKbTest : public ::testing::Test {
protected:
  static inline ErrorXML *xml = nullptr;
  static void SetUpTestSuite() { xml = new ErrorXML(kErrorsXml.c_str()); }
  static void TearDownTestSuite() {
    delete xml;
    xml = nullptr;
  }
};

#endif
