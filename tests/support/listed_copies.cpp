#include "support/listed_copies.h"

#include <gtest/gtest.h>

#include "support/program_run.h"
#include "support/temp_dir.h"

namespace sorvil::test {

std::set<std::string> listedCopiesHoldingTheirSongs(const std::string& root, const std::string& what) {
    std::set<std::string> copies;
    const std::string list = readFile(root + "/songlist.ini");
    for (size_t start = 0, end; (end = list.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string record = list.substr(start, end - start);
        const size_t bar = record.find('|'), bar2 = record.find('|', bar + 1), bar3 = record.rfind('|');
        const std::string song = record.substr(0, bar) + "/" + record.substr(bar + 1, bar2 - bar - 1) + ".mp3";
        const std::string copy = record.substr(bar2 + 1, bar3 - bar2 - 1);
        EXPECT_TRUE(exists(root + "/music/" + copy) && readFile(root + "/music/" + copy) == readFile(root + "/" + song)) << what << ": " << record;
        copies.insert(copy);
    }
    return copies;
}

}  // namespace sorvil::test
