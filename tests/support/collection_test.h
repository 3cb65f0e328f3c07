// The fixture of the end-to-end tests: a fresh temporary folder tree a run
// works in, and the console lines every run of sorvil starts with.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace sorvil::test {

class CollectionTest : public ::testing::Test {
protected:
    TempDir tree;
    std::string root = tree.path();
    std::string at(const std::string& relative) const { return root + "/" + relative; }
};

// The console lines before the artist list in copy mode, "music" being created.
inline const std::string START_CREATING =
    "Starting Sorvil...\n"
    "MUSIC directory does not exist; creating it...\n"
    "Getting artist list...\n";

inline const std::string START_EXISTING = "Starting Sorvil...\nMUSIC directory exists\nGetting artist list...\n";

inline const std::string START_NO_COPY =
    "Starting Sorvil...\n"
    "Music files will not be copied to files with 8.3 file names.\n"
    "The resulting SONGLIST.INI will require PELLMAR.\n"
    "Getting artist list...\n";

// The line after the artist list of a copy run over `count` files in "music"
// that no record names, under names the copies take.
inline std::string unrecordedNote(int count) {
    return count == 1 ? "NOTE: 1 file in music that sorvil has no record of is replaced by the copy of that name\n"
                      : "NOTE: " + std::to_string(count) +
                            " files in music that sorvil has no record of are replaced by the copies of those names\n";
}

}  // namespace sorvil::test
