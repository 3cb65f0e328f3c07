// The list of test streams (tests/data/test-streams.txt) and what each is
// held to, read once for every test that walks the test streams.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace sorvil::test {

struct TestStream {
    std::string path;  // under tests/data
    std::map<std::string, std::string> fields;

    bool has(const std::string& key) const { return fields.count(key) != 0; }
    std::string text(const std::string& key) const;
    double number(const std::string& key, double fallback = 0) const;
    int integer(const std::string& key, int fallback = 0) const;
    // The path as a test name: letters, digits and '_' only.
    std::string testName() const;
};

// Test parameters print as their path.
inline void PrintTo(const TestStream& stream, std::ostream* out) { *out << stream.path; }
// A file name made a test name: letters and digits kept, anything else '_'.
std::string identifierOf(std::string name);
// Names the tests of a suite over stream paths after the streams' files.
inline std::string streamNameOf(const ::testing::TestParamInfo<const char*>& info) { return identifierOf(info.param); }

// Every listed stream, in the list's order.
const std::vector<TestStream>& testStreams();
// The streams whose field `key` is `value` ("ref", "iso"), or that carry the
// flag `key` when value is empty ("nostream").
std::vector<TestStream> testStreams(const std::string& key, const std::string& value = "");
// The streams in which stream creation finds a stream.
std::vector<TestStream> streamsWithAStream();

}  // namespace sorvil::test
