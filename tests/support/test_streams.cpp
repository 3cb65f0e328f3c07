#include "support/test_streams.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/temp_dir.h"

namespace sorvil::test {

namespace {

std::vector<TestStream> readList() {
    std::vector<TestStream> streams;
    std::ifstream in(testData("test-streams.txt"));
    if (!in) {
        // Every suite built on the list would quietly hold no test.
        std::fprintf(stderr, "tests/data/test-streams.txt cannot be read\n");
        std::abort();
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        TestStream stream;
        if (!(words >> stream.path)) continue;
        for (std::string word; words >> word;) {
            const size_t equals = word.find('=');
            if (equals == std::string::npos) stream.fields[word] = "";
            else stream.fields[word.substr(0, equals)] = word.substr(equals + 1);
        }
        streams.push_back(stream);
    }
    return streams;
}

}  // namespace

std::string TestStream::text(const std::string& key) const {
    auto it = fields.find(key);
    EXPECT_NE(it, fields.end()) << path << " has no field " << key;
    return it == fields.end() ? std::string() : it->second;
}

double TestStream::number(const std::string& key, double fallback) const {
    return has(key) ? std::stod(text(key)) : fallback;
}

int TestStream::integer(const std::string& key, int fallback) const {
    return has(key) ? std::stoi(text(key)) : fallback;
}

std::string identifierOf(std::string name) {
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

std::string TestStream::testName() const { return identifierOf(path.substr(0, path.rfind('.'))); }

const std::vector<TestStream>& testStreams() {
    static const std::vector<TestStream> streams = readList();
    return streams;
}

std::vector<TestStream> testStreams(const std::string& key, const std::string& value) {
    std::vector<TestStream> chosen;
    for (const TestStream& stream : testStreams()) {
        auto it = stream.fields.find(key);
        if (it != stream.fields.end() && it->second == value) chosen.push_back(stream);
    }
    return chosen;
}

std::vector<TestStream> streamsWithAStream() {
    std::vector<TestStream> chosen;
    for (const TestStream& stream : testStreams())
        if (!stream.has("nostream") && !stream.has("refused")) chosen.push_back(stream);
    return chosen;
}

}  // namespace sorvil::test
