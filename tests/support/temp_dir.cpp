#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

#include "pcm_compare.h"

namespace sorvil::test {

// A name no other folder has, taken by creating it (which fails for a name
// taken meanwhile), private to its owner, on every system.
TempDir::TempDir() {
    namespace fs = std::filesystem;
    std::random_device seed;
    std::mt19937_64 random(uint64_t(seed()) << 32 | seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path path = fs::temp_directory_path() / ("sorvil-test-" + std::to_string(random() % 1000000000000u));
        if (!fs::create_directory(path)) continue;
        fs::permissions(path, fs::perms::owner_all);
        path_ = path.generic_string();
        return;
    }
    throw std::runtime_error("cannot make a temporary folder");
}

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
