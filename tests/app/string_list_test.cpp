#include "app/string_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/system.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

using test::readFile;
using test::TempDir;

StringList listOf(const std::vector<std::string>& texts) {
    StringList list = stringListNew();
    for (const std::string& text : texts) list = stringListAppend(list, text.c_str());
    return list;
}

TEST(StringList, NewListHasCountZeroInTheWordBeforeElementZero) {
    StringList list = stringListNew();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(reinterpret_cast<intptr_t*>(list)[-1], 0);
    EXPECT_EQ(stringListCount(list), 0);
    stringListFree(list);
}

TEST(StringList, AppendKeepsOrderAndCopiesEveryText) {
    StringList list = stringListNew();
    std::string text = "first";
    for (int i = 0; i < 200; ++i) {
        StringList grown = stringListAppend(list, (text + std::to_string(i)).c_str());
        ASSERT_NE(grown, nullptr);
        list = grown;  // only the returned pointer is valid after an append
        ASSERT_EQ(stringListCount(list), i + 1);
    }
    text = "changed";  // the list holds its own copies
    for (int i = 0; i < 200; ++i) EXPECT_STREQ(list[i], ("first" + std::to_string(i)).c_str());
    stringListFree(list);
}

TEST(StringList, BlockGrowsByExactlyOnePointerPerAppend) {
    StringList list = stringListNew();
    // The heap block holds the count word and one pointer per element: the
    // allocator's usable size never runs far ahead of that.
    for (int i = 0; i < 50; ++i) {
        list = stringListAppend(list, "x");
        size_t usable = test::usableSize(reinterpret_cast<intptr_t*>(list) - 1);
        EXPECT_GE(usable, sizeof(intptr_t) * (i + 2));
        EXPECT_LT(usable, sizeof(intptr_t) * (i + 2) + 32);
    }
    stringListFree(list);
}

TEST(StringList, AppendToNullGivesNullAndFreeOfNullIsIgnored) {
    EXPECT_EQ(stringListAppend(nullptr, "text"), nullptr);
    stringListFree(nullptr);
}

TEST(StringList, EmptyTextIsAnElement) {
    StringList list = listOf({"", "b"});
    ASSERT_EQ(stringListCount(list), 2);
    EXPECT_STREQ(list[0], "");
    stringListFree(list);
}

// Each mode over lists that hold its separators, line ends and long
// elements: lines end in CR LF (inside elements too), quotes are not escaped
// and no comma or line end follows the last, NUL mode is binary.
TEST(WriteStringList, EveryModeWritesItsSeparatorsAroundElementsAsTheyAre) {
    struct Case {
        int mode;
        std::vector<std::string> elements;
        std::string written;
    };
    const std::string longLine(5000, 'x');
    const Case cases[] = {
        {WRITE_LINES, {"a", "b|c|d|1", "\xc3\xa9t\xc3\xa9"}, "a\r\nb|c|d|1\r\n\xc3\xa9t\xc3\xa9\r\n"},
        {WRITE_LINES, {"one\ntwo", longLine}, "one\r\ntwo\r\n" + longLine + "\r\n"},
        {WRITE_QUOTED, {"a", "b,\"c\"", "d"}, "\"a\",\"b,\"c\"\",\"d\""},
        {WRITE_NUL_TERMINATED, {"a\nb", "", "c"}, std::string("a\nb\0\0c\0", 7)},
    };
    TempDir dir;
    for (const Case& c : cases) {
        StringList list = listOf(c.elements);
        ASSERT_EQ(writeStringList(list, dir.file("out").c_str(), c.mode), 0);
        EXPECT_EQ(readFile(dir.file("out")), c.written) << "mode " << c.mode;
        stringListFree(list);
    }
}

TEST(WriteStringList, EmptyListCreatesEmptyFileInEveryMode) {
    TempDir dir;
    StringList list = stringListNew();
    for (int mode : {WRITE_NUL_TERMINATED, WRITE_LINES, WRITE_QUOTED}) {
        std::string path = dir.file("empty" + std::to_string(mode));
        ASSERT_EQ(writeStringList(list, path.c_str(), mode), 0);
        EXPECT_EQ(std::filesystem::file_size(path), 0u);
    }
    stringListFree(list);
}

TEST(WriteStringList, ExistingFileIsReplaced) {
    TempDir dir;
    test::writeFile(dir.file("out.ini"), std::string(100, 'o'));
    StringList list = listOf({"new"});
    ASSERT_EQ(writeStringList(list, dir.file("out.ini").c_str(), WRITE_LINES), 0);
    EXPECT_EQ(readFile(dir.file("out.ini")), "new\r\n");
    stringListFree(list);
}

TEST(WriteStringList, FailsWhenFileCannotBeOpenedOrModeIsUnknown) {
    TempDir dir;
    StringList list = listOf({"a"});
    EXPECT_EQ(writeStringList(list, dir.file("missing/out.ini").c_str(), WRITE_LINES), -1);
    EXPECT_EQ(writeStringList(list, dir.path().c_str(), WRITE_LINES), -1);  // a folder
    EXPECT_EQ(writeStringList(list, dir.file("out").c_str(), 3), -1);
    stringListFree(list);
}

// A full device: every write fails, but only when the buffered text is flushed.
TEST(WriteStringList, FailedWriteIsReportedInEveryMode) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    StringList list = listOf({"a", "b"});
    for (int mode : {WRITE_NUL_TERMINATED, WRITE_LINES, WRITE_QUOTED})
        EXPECT_EQ(writeStringList(list, "/dev/full", mode), -1) << "mode " << mode;
    stringListFree(list);
}

}  // namespace
}  // namespace sorvil
