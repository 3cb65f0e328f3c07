#include <allegro.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/string_list.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

constexpr int TEXT_TYPE = DAT_ID('T', 'E', 'X', 'T');

void putBigEndian32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xff);
}

// An uncompressed datafile holding one "TEXT" object per entry of `objects`.
std::string datafileOf(const std::vector<std::string>& objects) {
    std::string out = "slh.ALL.";
    putBigEndian32(out, static_cast<uint32_t>(objects.size()));
    for (const std::string& data : objects) {
        out += "TEXT";
        putBigEndian32(out, static_cast<uint32_t>(data.size()));
        putBigEndian32(out, static_cast<uint32_t>(data.size()));
        out += data;
    }
    return out;
}

std::vector<std::string> elementsOf(StringList list) {
    std::vector<std::string> elements;
    for (intptr_t i = 0; i < stringListCount(list); ++i) elements.push_back(list[i] ? list[i] : "<null>");
    return elements;
}

// Loads the objects through the library's own datafile loader and gives each
// loaded list's elements.
std::vector<std::vector<std::string>> loadThroughLibrary(const std::vector<std::string>& objects) {
    registerTextObjectType();
    test::TempDir dir;
    std::string path = dir.file("text.dat");
    test::writeFile(path, datafileOf(objects));
    DATAFILE* datafile = load_datafile(path.c_str());
    EXPECT_NE(datafile, nullptr);
    std::vector<std::vector<std::string>> lists;
    if (!datafile) return lists;
    for (DATAFILE* object = datafile; object->type != DAT_END; ++object) {
        EXPECT_EQ(object->type, TEXT_TYPE);
        EXPECT_NE(object->dat, nullptr);
        lists.push_back(elementsOf(static_cast<StringList>(object->dat)));
    }
    unload_datafile(datafile);  // frees the lists through stringListFree
    return lists;
}

using Lines = std::vector<std::string>;

TEST(LoadTextObject, LineEndsLfAndCrLfAreDroppedLoneCrIsKept) {
    auto lists = loadThroughLibrary({"a\r\nb\n", "a\rb\nc", "one\r\rtwo\r\n"});
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(lists[0], (Lines{"a", "b"}));
    EXPECT_EQ(lists[1], (Lines{"a\rb", "c"}));
    EXPECT_EQ(lists[2], (Lines{"one\r\rtwo"}));
}

TEST(LoadTextObject, EmptyLinesAndLeadingLineEnd) {
    auto lists = loadThroughLibrary({"a\n\nb", "\nx\n", "\r\n"});
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(lists[0], (Lines{"a", "", "b"}));
    EXPECT_EQ(lists[1], (Lines{"", "x"}));
    EXPECT_EQ(lists[2], (Lines{""}));
}

TEST(LoadTextObject, NulByteEndsLineLikeLf) {
    auto lists = loadThroughLibrary({std::string("a\0b\0", 4), std::string("\0", 1)});
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0], (Lines{"a", "b"}));
    EXPECT_EQ(lists[1], (Lines{""}));
}

TEST(LoadTextObject, LastLineWithoutLineEndIsKeptWhole) {
    auto lists = loadThroughLibrary({"x", "first\nlast line", std::string(3000, 'y')});
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(lists[0], (Lines{"x"}));
    EXPECT_EQ(lists[1], (Lines{"first", "last line"}));
    EXPECT_EQ(lists[2], (Lines{std::string(3000, 'y')}));
}

TEST(LoadTextObject, ByteValue255IsDataNotEndOfFile) {
    auto lists = loadThroughLibrary({"\xff\xfe\n\xff"});
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0], (Lines{"\xff\xfe", "\xff"}));
}

// A null result would make the library's loader abort the whole process.
TEST(LoadTextObject, ZeroByteObjectLoadsAsEmptyList) {
    auto lists = loadThroughLibrary({"", "after"});
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0], Lines{});
    EXPECT_EQ(lists[1], (Lines{"after"}));
}

}  // namespace
}  // namespace sorvil
