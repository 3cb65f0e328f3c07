// The texts that describe a run: `sorvil --help` (and so the manual page),
// the page's own sections, the README and doc/behaviour.md. Where they state
// one fact they state it in the same words, so they cannot drift apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/collection_test.h"
#include "support/program_run.h"

namespace sorvil {
namespace {

using namespace test;

// The words alone: letter case, line breaks, Markdown's backticks, roff's
// requests and "\-", and the colon after an exit status aside.
std::string wordsOf(const std::string& text) {
    std::istringstream lines(text);
    std::string joined;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind('.', 0) == 0) line.erase(0, std::min(line.find(' '), line.size()));
        joined += line + " ";
    }
    joined = std::regex_replace(joined, std::regex(R"(`|\\(?=-))"), "");
    joined = std::regex_replace(joined, std::regex(R"(\s+)"), " ");
    joined = std::regex_replace(joined, std::regex(R"(\b([0-2]): )"), "$1 ");
    for (char& c : joined) c = char(std::tolower(static_cast<unsigned char>(c)));
    return joined;
}

enum Text { HELP, PAGE, README, BEHAVIOUR };
const char* const TEXT_NAMES[] = {"sorvil --help", "doc/sorvil.h2m", "README.md", "doc/behaviour.md"};

// Each fact in its words, the texts that must state it, and a word by which
// any other text that touches the fact shows it.
const struct {
    const char* words;
    std::vector<Text> statedIn;
    const char* touchedBy;
} FACTS[] = {
    {"album folders at any depth", {HELP, README, BEHAVIOUR}, "album folders at"},
    {"music/.sorvil-copies", {HELP, PAGE, README, BEHAVIOUR}, "sorvil-copies"},
    {"a song over 1 gib is no failure: it is reported, and neither copied nor listed (with nocopy, listed with 0 "
     "seconds)",
     {HELP, README, BEHAVIOUR}, "over 1 gib"},
    {"0 everything was done", {HELP, README, BEHAVIOUR}, "0 everything"},
    {"1 something failed", {HELP, README, BEHAVIOUR}, "1 something"},
    {"2 bad command line", {HELP, README, BEHAVIOUR}, "2 bad command"},
};

TEST(Texts, StateTheRunsSharedFactsInTheSameWords) {
    TempDir tree;
    const std::string source = std::string(SORVIL_TEST_DATA) + "/../../";
    const std::string texts[] = {wordsOf(runProgram("sorvil", tree, tree.path(), {"--help"}).output),
                                 wordsOf(readFile(source + "doc/sorvil.h2m")), wordsOf(readFile(source + "README.md")),
                                 wordsOf(readFile(source + "doc/behaviour.md"))};
    for (const auto& fact : FACTS)
        for (int text = HELP; text <= BEHAVIOUR; ++text) {
            const bool stated = texts[text].find(fact.words) != std::string::npos;
            const bool mustState = std::find(fact.statedIn.begin(), fact.statedIn.end(), Text(text)) !=
                                   fact.statedIn.end();
            if (mustState || texts[text].find(fact.touchedBy) != std::string::npos) {
                EXPECT_TRUE(stated) << TEXT_NAMES[text] << " does not say \"" << fact.words << "\"";
            }
        }
}

}  // namespace
}  // namespace sorvil
