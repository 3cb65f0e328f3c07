// Huffman trees: every code of every table of the standard (read from the
// project's copy of the code tables) decodes to its value with exactly the
// code's number of bits.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/bit_reader.h"
#include "decoder/layer3/huffman.h"
#include "support/temp_dir.h"

namespace sorvil {
namespace {

struct Code {
    std::string bits;
    int value;
};

struct CodeTables {
    std::map<std::string, std::vector<Code>> codes;  // "1".."24", "A", "B"
    int linbits[32] = {};
    std::string source[32];  // table whose codes a table uses; empty for none
};

CodeTables readCodeTables() {
    CodeTables tables;
    std::ifstream in(test::testData("../../tools/generators/data/layer3_huffman_tables.txt"));
    EXPECT_TRUE(in.good());
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (first == "#TABLE") {
            std::string name, word;
            int xlen, ylen, linbits;
            fields >> name;
            if (name == "A" || name == "B") continue;
            fields >> word >> xlen >> word >> ylen >> word >> linbits;
            int n = std::stoi(name);
            tables.linbits[n] = linbits;
            std::string rest;
            std::getline(fields, rest);
            if (rest.find("no codes") != std::string::npos) {
                tables.source[n] = "";
            } else if (auto at = rest.find("codes of table "); at != std::string::npos) {
                tables.source[n] = rest.substr(at + 15);
            } else {
                tables.source[n] = name;
            }
            continue;
        }
        if (first.empty() || first[0] == '#') continue;
        Code code;
        int length;
        if (first == "A" || first == "B") {
            int v, w, x, y;
            fields >> v >> w >> x >> y >> length >> code.bits;
            code.value = v << 3 | w << 2 | x << 1 | y;
        } else {
            int x, y;
            fields >> x >> y >> length >> code.bits;
            code.value = x << 4 | y;
        }
        EXPECT_EQ(int(code.bits.size()), length) << line;
        tables.codes[first].push_back(code);
    }
    return tables;
}

// Walks a tree with the ordinary one-bit reader, as the entry format defines.
int walk(const int16_t* tree) {
    int at = 0;
    while (tree[at] < 0) at += getOneBit() ? 1 - tree[at] : 1;
    return tree[at];
}

// Decodes code followed by filler bits; returns the value and the bits used.
std::pair<int, int> decodeCode(const int16_t* tree, const std::string& code, bool fillerOnes) {
    std::vector<uint8_t> bytes(16, fillerOnes ? 0xFF : 0x00);
    for (size_t i = 0; i < code.size(); ++i) {
        uint8_t mask = uint8_t(0x80 >> (i % 8));
        if (code[i] == '1') {
            bytes[i / 8] |= mask;
        } else {
            bytes[i / 8] &= uint8_t(~mask);
        }
    }
    readPointer = bytes.data();
    bitIndex = 0;
    int value = walk(tree);
    int used = int(readPointer - bytes.data()) * 8 + bitIndex;
    return {value, used};
}

int treeSize(const int16_t* tree) {
    // Preorder layout: a branch's subtrees follow it, its 1-subtree after its 0-subtree.
    int at = 0;
    int open = 1;
    while (open > 0) {
        open += tree[at] < 0 ? 1 : -1;
        ++at;
    }
    return at;
}

class HuffmanTreesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tables_ = new CodeTables(readCodeTables()); }
    static void TearDownTestSuite() { delete tables_; }
    static CodeTables* tables_;

    void expectTreeDecodes(const int16_t* tree, const std::vector<Code>& codes, const std::string& name) {
        ASSERT_FALSE(codes.empty()) << name;
        EXPECT_EQ(treeSize(tree), int(2 * codes.size() - 1)) << name;
        for (const Code& code : codes) {
            for (bool fillerOnes : {false, true}) {
                auto [value, used] = decodeCode(tree, code.bits, fillerOnes);
                EXPECT_EQ(value, code.value) << "table " << name << " code " << code.bits;
                EXPECT_EQ(used, int(code.bits.size())) << "table " << name << " code " << code.bits;
            }
        }
    }
};
CodeTables* HuffmanTreesTest::tables_ = nullptr;

TEST_F(HuffmanTreesTest, EveryBigValuesCodeDecodesWithItsLength) {
    int tablesWithCodes = 0;
    for (int n = 0; n < 32; ++n) {
        const std::string& source = tables_->source[n];
        if (source.empty()) continue;
        ++tablesWithCodes;
        expectTreeDecodes(huffmanTables[n].tree, tables_->codes.at(source), std::to_string(n));
    }
    EXPECT_EQ(tablesWithCodes, 29);
}

TEST_F(HuffmanTreesTest, LinbitsFollowTheStandardTable) {
    const int expected[32] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                              1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};
    for (int n = 0; n < 32; ++n) {
        EXPECT_EQ(huffmanTables[n].linbits, expected[n]) << n;
        EXPECT_EQ(huffmanTables[n].linbits, tables_->linbits[n]) << n;
    }
}

TEST_F(HuffmanTreesTest, TablesWithoutCodesDecodeZeroWithoutReading) {
    for (int n : {0, 4, 14}) {
        EXPECT_EQ(huffmanTables[n].tree[0], 0) << n;
        auto [value, used] = decodeCode(huffmanTables[n].tree, "", true);
        EXPECT_EQ(value, 0);
        EXPECT_EQ(used, 0);
    }
}

TEST_F(HuffmanTreesTest, Count1QuadrupleTables) {
    expectTreeDecodes(count1Tables[0].tree, tables_->codes.at("A"), "A");
    expectTreeDecodes(count1Tables[1].tree, tables_->codes.at("B"), "B");
    // Table B is the quadruple's four bits, each inverted.
    for (int quad = 0; quad < 16; ++quad) {
        std::string code;
        for (int b = 3; b >= 0; --b) code += (quad >> b & 1) ? '0' : '1';
        EXPECT_EQ(decodeCode(count1Tables[1].tree, code, false).first, quad);
    }
}

}  // namespace
}  // namespace sorvil
