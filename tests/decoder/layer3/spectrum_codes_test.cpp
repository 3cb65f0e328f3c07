// Every code of every big-values table through the whole spectrum decoder:
// each value pair, with its linbits and signs, must come out as the value the
// tree names and take exactly its bits, whether the code is short or long,
// and whatever bits follow it.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "decoder/layer3/huffman.h"
#include "decoder/layer3/tables.h"
#include "support/bit_string.h"

namespace sorvil {
namespace {

using test::BitString;
using test::ReservoirArea;

// Every leaf of a tree with the code that reaches it.
void collectCodes(const int16_t* tree, int at, std::string& path, std::vector<std::pair<int, std::string>>& out) {
    if (tree[at] >= 0) {
        out.emplace_back(tree[at], path);
        return;
    }
    path.push_back('0');
    collectCodes(tree, at + 1, path, out);
    path.back() = '1';
    collectCodes(tree, at + 1 - tree[at], path, out);
    path.pop_back();
}

class SpectrumCodesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { initLayer3Tables(32); }

    // Decodes `pairs` pairs of table `select` from bits, followed by filler.
    int decode(const BitString& bits, int select, int pairs, uint8_t filler) {
        values_.assign(576, -1.0);
        granule_ = GranuleInfo{};
        granule_.gainBase = 46;  // gain 1.0
        granule_.region1Pair = 288;
        granule_.region2Pair = 288;
        granule_.bigValues = pairs;
        granule_.tableSelect[0] = select;
        granule_.part23Length = bits.length();
        area_.load(bits, 0, kLargestFrameBody, filler);
        int scalefactors[39] = {};
        return decodeSpectrum(values_.data(), scalefactors, &granule_, 0, 0);
    }

    std::vector<double> values_;
    GranuleInfo granule_{};
    ReservoirArea area_;
};

TEST_F(SpectrumCodesTest, EveryPairCodeOfEveryTableDecodesWithItsBits) {
    for (int select = 1; select < 32; ++select) {
        const HuffmanTable& table = huffmanTables[select];
        if (table.tree[0] >= 0) continue;  // tables 4 and 14 have no codes
        std::vector<std::pair<int, std::string>> codes;
        std::string path;
        collectCodes(table.tree, 0, path, codes);
        const int largest = 15 + (1 << table.linbits) - 1;
        for (const auto& [leaf, code] : codes) {
            const int xCode = leaf >> 4;
            const int yCode = leaf & 15;
            // Twice in a row, with the signs and the linbits of the second
            // pair the other way round.
            BitString bits;
            int expected[4];
            for (int pass = 0; pass < 2; ++pass) {
                bits.code(code);
                const int zCodes[2] = {xCode, yCode};
                for (int v = 0; v < 2; ++v) {
                    int z = zCodes[v];
                    if (z == 15 && table.linbits) {
                        const int extra = pass == 0 ? (1 << table.linbits) - 1 : 0;
                        bits.put(unsigned(extra), table.linbits);
                        z += extra;
                    }
                    const bool negative = (pass + v) % 2 == 1;
                    if (z != 0) bits.putBit(negative);
                    expected[2 * pass + v] = negative ? -z : z;
                }
            }
            for (uint8_t filler : {uint8_t(0x00), uint8_t(0xFF)}) {
                ASSERT_EQ(decode(bits, select, 2, filler), 0) << "table " << select << " code " << code;
                ASSERT_EQ(area_.bitsRead(), bits.length()) << "table " << select << " code " << code;
                for (int i = 0; i < 4; ++i) {
                    const int z = expected[i] < 0 ? -expected[i] : expected[i];
                    ASSERT_LE(z, largest);
                    const double magnitude = powFourThirds[z];
                    ASSERT_EQ(values_[size_t(i)], expected[i] < 0 ? -magnitude : magnitude)
                        << "table " << select << " code " << code << " value " << i;
                }
            }
        }
    }
}

}  // namespace
}  // namespace sorvil
