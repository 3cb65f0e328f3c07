// Test helpers: a real temporary folder removed with its contents at the end,
// however deep its folders go.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sorvil::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Makes `levels` nested folders all named `name` below `folder`, each from
// the one above by descriptor: no path to the deepest need fit the system's
// limit. POSIX only.
void makeDeepFolders(const std::string& folder, const std::string& name, int levels);

// Removes the folder and everything in it (what TempDir does at its end),
// on POSIX by descriptor however deep; what a test made read-only is made
// writable first.
void removeTree(const std::string& path);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// Bytes that differ from position to position, so a copy that skips or
// repeats a block shows.
std::string patternBytes(size_t size);
// Every file and link under `root` (links not followed), by path relative to
// it: a hash of a file's bytes, or a link's target. Equal before and after a
// run when nothing there was written, replaced or removed.
std::map<std::string, std::string> treeFingerprint(const std::string& root);
// Path of a file under tests/data.
std::string testData(const std::string& relative);
// The bytes of a file under tests/data (empty, and a failed expectation, when unreadable).
std::vector<uint8_t> testDataBytes(const std::string& relative);
// The file under tests/data with `count` bytes of noise (the same on every
// run) inserted a third of the way in.
std::string testDataWithNoiseInside(const std::string& relative, size_t count);

}  // namespace sorvil::test
