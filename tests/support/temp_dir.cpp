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

TempDir::~TempDir() { removeTree(path_); }

std::string readFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    readBinaryFile(path, &bytes);
    return std::string(bytes.begin(), bytes.end());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
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

// Removing trees and making deep ones: the POSIX side, by descriptor
// (temp_dir_windows.cpp has the other).
#ifndef _WIN32

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sorvil::test {

namespace {

// The first sub-folder of the open folder (links not followed), after
// every other entry in it was removed; empty when none is left.
std::string emptyBut(int folder) {
    DIR* stream = fdopendir(dup(folder));
    std::string sub;
    while (const dirent* entry = stream ? readdir(stream) : nullptr) {
        const std::string name = entry->d_name;
        struct stat info {};
        if (name == "." || name == ".." || fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(info.st_mode)) unlinkat(folder, name.c_str(), 0);
        else if (sub.empty()) sub = name;
    }
    if (stream) closedir(stream);
    return sub;
}

}  // namespace

// One folder open at a time (".." leads back up: the tree is the test's
// own). What cannot be removed (a mount point) ends the removal there.
void removeTree(const std::string& path) {
    chmod(path.c_str(), S_IRWXU);
    int folder = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    std::vector<std::string> way;  // the names from `path` down to `folder`
    while (folder >= 0) {
        const std::string sub = emptyBut(folder);
        int next = -1;
        if (!sub.empty()) {
            fchmodat(folder, sub.c_str(), S_IRWXU, 0);
            next = openat(folder, sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next >= 0) way.push_back(sub);
        } else if (!way.empty()) {
            next = openat(folder, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (next >= 0 && unlinkat(next, way.back().c_str(), AT_REMOVEDIR) != 0) {
                close(next);
                next = -1;
            }
            way.pop_back();
        }
        close(folder);
        folder = next;
    }
    rmdir(path.c_str());
}


void makeDeepFolders(const std::string& folder, const std::string& name, int levels) {
    int at = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(at, 0) << folder;
    for (int level = 0; level < levels && at >= 0; ++level) {
        const int next =
            mkdirat(at, name.c_str(), 0755) == 0 ? openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        EXPECT_GE(next, 0) << "level " << level << ": " << std::strerror(errno);
        close(at);
        at = next;
    }
    if (at >= 0) close(at);
}

}  // namespace sorvil::test

#endif
