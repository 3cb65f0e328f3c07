#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

#include "pcm_compare.h"
#include "support/system.h"

namespace sorvil::test {

TempDir::TempDir() : path_(makeTemporaryFolder()) {}

TempDir::~TempDir() {
    std::error_code ignored;
    // Restore write permission on anything a test made read-only, then remove.
    for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    readBinaryFile(path, &bytes);
    return std::string(bytes.begin(), bytes.end());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::map<std::string, std::string> treeFingerprint(const std::string& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> fingerprint;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(entry.path(), root).string();
        if (entry.is_symlink()) {
            fingerprint[relative] = "link to " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            uint64_t hash = 14695981039346656037u;  // FNV-1a
            for (unsigned char byte : readFile(entry.path().string())) hash = (hash ^ byte) * 1099511628211u;
            fingerprint[relative] = std::to_string(hash);
        }
    }
    return fingerprint;
}

std::string patternBytes(size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

std::string testData(const std::string& relative) { return std::string(SORVIL_TEST_DATA) + "/" + relative; }

std::vector<uint8_t> testDataBytes(const std::string& relative) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(readBinaryFile(testData(relative), &bytes)) << "cannot read test data " << relative;
    return bytes;
}

std::string testDataWithNoiseInside(const std::string& relative, size_t count) {
    std::string bytes = readFile(testData(relative)), noise;
    for (std::mt19937 random(24); noise.size() < count;) noise += char(random());
    return bytes.insert(bytes.size() / 3, noise);
}

}  // namespace sorvil::test
