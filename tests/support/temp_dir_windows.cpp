// Removing trees: the Windows side (temp_dir.cpp has the POSIX one). Paths
// there reach no deeper than the standard library's, which is as deep as
// the tests on Windows make them.
#ifdef _WIN32

#include <filesystem>
#include <system_error>

#include "support/temp_dir.h"

namespace sorvil::test {

// What a test made read-only is made writable first: Windows removes no
// read-only file.
void removeTree(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(path, ignored))
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

}  // namespace sorvil::test

#endif
