// Layer III Huffman decoding with the requantisation folded in: each value is
// scaled by its band's gain as it is decoded and stored straight at its place
// in the (window-interleaved) spectrum layout, walking the band walk lists.
//
// The bit cursor is copied into locals for the whole granule and every pair
// of values is read from one 64-bit window (a code of at most 19 bits plus
// two times 13 linbits and a sign: 47 bits; the window holds at least 57).
// Bit budgets are kept as positions, so the big-values part counts no bits.
#include "decoder/layer3/huffman.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "decoder/bit_reader.h"
#include "decoder/layer3/tables.h"

namespace sorvil {

namespace {

constexpr int kSpectrumValues = 576;
constexpr int kNoPretab[22] = {};

// The next 64 bits from byte p on, shifted past the bits already read.
inline uint64_t peekWindow(const uint8_t* p, unsigned bit) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    return word << bit;
}

// First-level lookup over the next 8 bits of a count1 tree: a non-negative
// entry is a leaf reached within them (value | bits used << 8), a negative
// entry -n continues the walk at tree entry n after all 8 bits.
constexpr int kLookupBits = 8;
struct TreeLookup {
    int16_t entries[1 << kLookupBits];
};
TreeLookup treeLookups[2];
const int16_t* lookupTrees[2];
const TreeLookup* count1Lookups[2];

void buildLookup(const int16_t* tree, TreeLookup& lookup) {
    for (unsigned pattern = 0; pattern < (1u << kLookupBits); ++pattern) {
        int at = 0;
        int used = 0;
        while (tree[at] < 0 && used < kLookupBits) {
            unsigned bit = (pattern >> (kLookupBits - 1 - used)) & 1;
            at += bit ? 1 - tree[at] : 1;
            ++used;
        }
        lookup.entries[pattern] = int16_t(tree[at] >= 0 ? tree[at] | used << 8 : -at);
    }
}

const TreeLookup* lookupFor(const int16_t* tree, int& built) {
    for (int i = 0; i < built; ++i)
        if (lookupTrees[i] == tree) return &treeLookups[i];
    lookupTrees[built] = tree;
    buildLookup(tree, treeLookups[built]);
    return &treeLookups[built++];
}

// Two-level pair lookup for the big-values trees. The first kPairBits bits of
// a code index a tree's first level; a longer code continues in a second-level
// table indexed by the bits after them. A leaf entry holds x (bits 10-13), y
// (bits 6-9) and the length of the pair when no linbits follow: the code plus
// one sign bit per nonzero value (bits 0-5). A continuation entry holds
// kContinues, the second level's index width (bits 11-14) and its place from
// the start of the tree's first level (bits 0-10).
constexpr int kPairBits = 9;
// Bits of the longest pair without linbits (a 19-bit code and two signs) and
// of the longest pair of all (with two times 13 linbits).
constexpr unsigned kLongestPlainPair = 21;
constexpr unsigned kLongestPair = 47;
constexpr uint16_t kContinues = 0x8000;
constexpr int kPairEntriesCapacity = 12288;  // the standard's trees need 9792
uint16_t pairEntries[kPairEntriesCapacity];
const uint16_t* pairLookups[32];  // null for the trees that read nothing

int subtreeDepth(const int16_t* tree, int at) {
    if (tree[at] >= 0) return 0;
    return 1 + std::max(subtreeDepth(tree, at + 1), subtreeDepth(tree, at + 1 - tree[at]));
}

// Walks at most `bits` bits of `pattern` (most significant first) from node
// `at`; returns the node reached and adds the bits taken to *taken.
int walkPattern(const int16_t* tree, int at, unsigned pattern, int bits, int* taken) {
    int used = 0;
    while (tree[at] < 0 && used < bits) {
        const unsigned bit = (pattern >> (bits - 1 - used)) & 1;
        at += bit ? 1 - tree[at] : 1;
        ++used;
    }
    *taken += used;
    return at;
}

uint16_t pairLeaf(int leaf, int codeLength) {
    const int x = (leaf >> 4) & 15;
    const int y = leaf & 15;
    return uint16_t(x << 10 | y << 6 | (codeLength + (x != 0) + (y != 0)));
}

const uint16_t* buildPairLookup(const int16_t* tree, int& used) {
    if (tree[0] >= 0) return nullptr;
    uint16_t* first = pairEntries + used;
    int size = 1 << kPairBits;
    for (unsigned pattern = 0; pattern < (1u << kPairBits); ++pattern) {
        int taken = 0;
        const int at = walkPattern(tree, 0, pattern, kPairBits, &taken);
        if (tree[at] >= 0) {
            first[pattern] = pairLeaf(tree[at], taken);
            continue;
        }
        const int depth = subtreeDepth(tree, at);
        // The standard's trees fit with room to spare; a tree that did not
        // would be a fault in the generated tables.
        const int grown = size + (1 << depth);
        if (depth > 15 || grown > 0x800 || used + grown > kPairEntriesCapacity) std::abort();
        for (unsigned rest = 0; rest < (1u << depth); ++rest) {
            int restTaken = taken;
            const int leaf = walkPattern(tree, at, rest, depth, &restTaken);
            first[size + int(rest)] = pairLeaf(tree[leaf], restTaken);
        }
        first[pattern] = uint16_t(kContinues | depth << 11 | size);
        size += 1 << depth;
    }
    used += size;
    return first;
}

// The x, y and pair length of the code at the top of the window.
inline unsigned lookupPair(const uint16_t* lookup, uint64_t window) {
    unsigned entry = lookup[window >> (64 - kPairBits)];
    if (entry & kContinues) {
        const unsigned depth = (entry >> 11) & 15;
        entry = lookup[(entry & 0x7FF) + unsigned((window << kPairBits) >> (64 - depth))];
    }
    return entry;
}

class SpectrumDecoder {
public:
    SpectrumDecoder(double* spectrum, const int* scalefactors, const GranuleInfo& granule, const int* pretabRow,
                    const SpectrumMapEntry* list, int listLength)
        : spectrum_(spectrum),
          scalefactors_(scalefactors),
          granule_(granule),
          pretabRow_(pretabRow),
          list_(list),
          listLength_(listLength),
          shift_(1 + granule.scalefacScale),
          cursor_(readPointer),
          bit_(unsigned(bitIndex)),
          base_(readPointer),
          limit_(readLimit) {}

    int lastBand[4] = {-1, -1, -1, -1};

    // Big-values regions; Clip drops values whose index is past the spectrum
    // (the mixed list at the LSF and MPEG-2.5 rates).
    template <bool Clip>
    bool decodeBigValues(const int regionPairs[3]);
    template <bool Clip>
    bool decodeCount1(long endBit, int quadruples);
    template <bool Clip>
    void zeroRest();

    long bitPosition() const { return (cursor_ - base_) * 8 + long(bit_); }
    void commitCursor() {
        readPointer = cursor_;
        bitIndex = int(bit_);
    }
    // Moves the cursor to a bit position at or after the current one.
    void skipTo(long position) {
        cursor_ = base_ + position / 8;
        bit_ = unsigned(position % 8);
    }
    // True when the cursor has gone past the bytes the frame assembly trusts.
    // Every pair and quadruple is started only at or before that point, so no
    // read goes more than 8 bytes past it, well inside the area's slack.
    bool pastLimit() const { return cursor_ > limit_; }

private:
    void nextEntry() {
        do {
            const SpectrumMapEntry& e = list_[entry_];
            valuesLeft_ = 2 * e.pairs;
            index_ = e.firstIndex;
            int position;
            if (e.window == 3) {
                step_ = 1;
                position = granule_.gainBase + ((scalefactors_[entry_] + pretabRow_[e.band]) << shift_);
            } else {
                step_ = 3;
                position = granule_.windowGainBase[e.window] + (scalefactors_[entry_] << shift_);
            }
            gain_ = gainPowers[position];
            lastSlot_ = &lastBand[e.window];
            band_ = e.band;
            ++entry_;
        } while (valuesLeft_ == 0);
    }

    double* spectrum_;
    const int* scalefactors_;
    const GranuleInfo& granule_;
    const int* pretabRow_;
    const SpectrumMapEntry* list_;
    int listLength_;
    int shift_;
    uint8_t* cursor_;
    unsigned bit_;
    uint8_t* base_;
    const uint8_t* limit_;

    int entry_ = 0;
    int valuesLeft_ = 0;
    int index_ = 0;
    int step_ = 1;
    int band_ = 0;
    int* lastSlot_ = nullptr;
    double gain_ = 0.0;
};

template <bool Clip>
bool SpectrumDecoder::decodeBigValues(const int regionPairs[3]) {
    for (int region = 0; region < 3; ++region) {
        const int select = granule_.tableSelect[region] & 31;
        const uint16_t* lookup = pairLookups[select];
        const unsigned linbits = unsigned(huffmanTables[select].linbits);
        int pairsLeft = regionPairs[region];
        while (pairsLeft > 0) {
            if (valuesLeft_ == 0) nextEntry();
            int run = std::min(pairsLeft, valuesLeft_ / 2);
            pairsLeft -= run;
            valuesLeft_ -= 2 * run;

            // One run of pairs inside one band: everything in locals.
            double* const out = spectrum_;
            const double gain = gain_;
            const double signs[2] = {gain, -gain};
            const int step = step_;
            int index = index_;
            if (!lookup) {
                // A tree that reads nothing: every value is zero, no bits.
                for (; run > 0; --run) {
                    for (int v = 0; v < 2; ++v, index += step)
                        if (!Clip || index < kSpectrumValues) out[index] = gain * powFourThirds[0];
                }
                index_ = index;
                continue;
            }
            uint8_t* cursor = cursor_;
            unsigned bit = bit_;
            unsigned nonzero = 0;
            // The look-ahead stays in a register across pairs and is read
            // again only when it may not hold the next pair, so that the
            // chain from one pair to the next is a lookup and a shift.
            uint64_t ahead = peekWindow(cursor, bit);
            unsigned available = 64 - bit;
            for (; run > 0; --run) {
                if (cursor > limit_) {  // as pastLimit(), on the local cursor
                    cursor_ = cursor;
                    bit_ = bit;
                    return false;
                }
                if (available < kLongestPlainPair) {
                    ahead = peekWindow(cursor, bit);
                    available = 64 - bit;
                }
                uint64_t window = ahead;
                const unsigned entry = lookupPair(lookup, window);
                const unsigned x = (entry >> 10) & 15;
                const unsigned y = (entry >> 6) & 15;
                unsigned length = entry & 63;  // at least 1: every code has a bit
                nonzero |= x | y;
                double xValue, yValue;
                if (linbits == 0 || (x != 15 && y != 15)) {
                    // Code, then a sign bit per nonzero value: y's sign is the
                    // last bit of the pair, x's the one before it.
                    const unsigned ySign = unsigned(window >> (64 - length)) & 1 & unsigned(y != 0);
                    const unsigned xSign = unsigned(window >> (64 - length + (y != 0))) & 1 & unsigned(x != 0);
                    xValue = signs[xSign] * powFourThirds[x];
                    yValue = signs[ySign] * powFourThirds[y];
                } else {
                    // linbits after a 15, each value's sign after its own bits.
                    if (available < kLongestPair) {
                        ahead = window = peekWindow(cursor, bit);
                        available = 64 - bit;
                    }
                    const unsigned codeLength = length - (x != 0) - (y != 0);
                    window <<= codeLength;
                    length = codeLength;
                    double* values[2] = {&xValue, &yValue};
                    unsigned xy[2] = {x, y};
                    for (int v = 0; v < 2; ++v) {
                        unsigned z = xy[v];
                        if (z == 15) {
                            z += unsigned(window >> (64 - linbits));
                            window <<= linbits;
                            length += linbits;
                        }
                        const unsigned hasSign = z != 0;
                        *values[v] = signs[unsigned(window >> 63) & hasSign] * powFourThirds[z];
                        window <<= hasSign;
                        length += hasSign;
                    }
                }
                if (!Clip || index < kSpectrumValues) out[index] = xValue;
                index += step;
                if (!Clip || index < kSpectrumValues) out[index] = yValue;
                index += step;
                ahead <<= length;
                available -= length;
                bit += length;
                cursor += bit >> 3;
                bit &= 7;
            }
            if (nonzero) *lastSlot_ = band_;
            index_ = index;
            cursor_ = cursor;
            bit_ = bit;
        }
    }
    return true;
}

template <bool Clip>
bool SpectrumDecoder::decodeCount1(long endBit, int quadruples) {
    const int16_t* tree = count1Tables[granule_.count1TableSelect & 1].tree;
    const TreeLookup& lookup = *count1Lookups[granule_.count1TableSelect & 1];
    double* const out = spectrum_;
    uint8_t* cursor = cursor_;
    unsigned bit = bit_;
    int index = index_;
    int step = step_;
    int valuesLeft = valuesLeft_;
    // A value by its bit and its sign bit: 0.0 (a zero has no sign bit), gain
    // or -gain; kept across values and remade on a band switch only.
    double values[4] = {0.0, 0.0, gain_, -gain_};
    unsigned hit = 0;  // a value of the current band was nonzero
    bool inside = true;
    for (; quadruples > 0; --quadruples) {
        const long bitsLeft = endBit - ((cursor - base_) * 8 + long(bit));
        if (bitsLeft <= 0) break;
        if (cursor > limit_) {
            inside = false;
            break;
        }
        uint64_t window = peekWindow(cursor, bit);
        unsigned used = 0;
        // Quadruple codes have at most 6 bits: the lookup holds them whole.
        // Only a code cut by the end of the budget is walked bit by bit; that
        // walk stops where the budget ends and yields the zero quadruple.
        int quad = lookup.entries[window >> (64 - kLookupBits)];
        if (long(quad >> 8) <= bitsLeft) {
            window <<= quad >> 8;
            used = unsigned(quad >> 8);
            quad &= 15;
        } else {
            const int16_t* node = tree;
            quad = *node;
            while (quad < 0) {
                if (long(used) >= bitsLeft) {
                    quad = 0;
                    break;
                }
                unsigned branch = unsigned(window >> 63);
                window <<= 1;
                ++used;
                node += 1 + ((-quad) & -int(branch));
                quad = *node;
            }
        }
        bool budgetEnded = false;
        for (int v = 0; v < 4; ++v) {
            // A quadruple is two pairs: band switches happen only between pairs.
            if ((v & 1) == 0 && valuesLeft == 0) {
                if (hit) *lastSlot_ = band_;
                hit = 0;
                nextEntry();
                index = index_;
                step = step_;
                valuesLeft = valuesLeft_;
                values[2] = gain_;
                values[3] = -gain_;
            }
            const unsigned set = unsigned(quad >> (3 - v)) & 1;
            hit |= set;  // the band counts as nonzero even when the budget ends here
            if (set & unsigned(long(used) >= bitsLeft)) {
                budgetEnded = true;
                break;
            }
            const double value = values[set << 1 | (unsigned(window >> 63) & set)];
            window <<= set;
            used += set;
            if (!Clip || index < kSpectrumValues) out[index] = value;
            index += step;
            --valuesLeft;
        }
        bit += used;
        cursor += bit >> 3;
        bit &= 7;
        if (budgetEnded) break;
    }
    if (hit) *lastSlot_ = band_;
    cursor_ = cursor;
    bit_ = bit;
    index_ = index;
    valuesLeft_ = valuesLeft;
    return inside;
}

// Zeroes every value of the list not yet written: the rest of the current
// entry (a half-written pair included) and every following entry. The long
// and short lists cover the spectrum band after band to its end, so from the
// start of a band on (a long band, or window 0 of a short one) the rest is
// one stretch.
template <bool Clip>
void SpectrumDecoder::zeroRest() {
    for (;;) {
        int index = index_;
        const int step = step_;
        for (int left = valuesLeft_; left > 0; --left, index += step)
            if (!Clip || index < kSpectrumValues) spectrum_[index] = 0.0;
        valuesLeft_ = 0;
        if (entry_ >= listLength_) return;
        if (!Clip && list_[entry_].window != 1 && list_[entry_].window != 2) {
            std::fill(spectrum_ + list_[entry_].firstIndex, spectrum_ + kSpectrumValues, 0.0);
            entry_ = listLength_;
            return;
        }
        nextEntry();
    }
}

// Region lengths in pairs, with both region starts held within 0..288 and
// region 1 never after region 2, whatever the side information says.
void regionLengths(const GranuleInfo& granule, int bigValues, int lengths[3]) {
    int r1 = std::clamp(granule.region1Pair, 0, kMaxPairs);
    int r2 = std::clamp(granule.region2Pair, r1, kMaxPairs);
    if (bigValues <= r1) {
        lengths[0] = bigValues, lengths[1] = 0, lengths[2] = 0;
    } else if (bigValues <= r2) {
        lengths[0] = r1, lengths[1] = bigValues - r1, lengths[2] = 0;
    } else {
        lengths[0] = r1, lengths[1] = r2 - r1, lengths[2] = bigValues - r2;
    }
}

template <bool Clip>
bool decodeList(SpectrumDecoder& decoder, const int regionPairs[3], long endBit, int quadruples) {
    bool inside = decoder.decodeBigValues<Clip>(regionPairs) && decoder.decodeCount1<Clip>(endBit, quadruples);
    decoder.zeroRest<Clip>();
    return inside;
}

}  // namespace

void buildHuffmanLookups() {
    int built = 0;
    for (int t = 0; t < 2; ++t) count1Lookups[t] = lookupFor(count1Tables[t].tree, built);
    int used = 0;
    for (int t = 0; t < 32; ++t) {
        // Tables 16-23 and 24-31 share their trees.
        const int16_t* tree = huffmanTables[t].tree;
        pairLookups[t] = nullptr;
        for (int earlier = 0; earlier < t && !pairLookups[t]; ++earlier)
            if (huffmanTables[earlier].tree == tree) pairLookups[t] = pairLookups[earlier];
        if (!pairLookups[t]) pairLookups[t] = buildPairLookup(tree, used);
    }
}

int decodeSpectrum(double* lines, const int* scalefactors, GranuleInfo* granule, int samplingFrequency,
                   int part2Bits) {
    const SpectrumMapLists& lists = spectrumMap[samplingFrequency];
    const bool shortBlocks = granule->blockType == 2;
    const bool mixed = shortBlocks && granule->mixedBlock;

    const SpectrumMapEntry* list = lists.longList;
    int listLength = spectrumMapEnd[samplingFrequency][MAP_LONG];
    if (mixed) {
        list = lists.mixed;
        listLength = spectrumMapEnd[samplingFrequency][MAP_MIXED];
    } else if (shortBlocks) {
        list = lists.shortList;
        listLength = spectrumMapEnd[samplingFrequency][MAP_SHORT];
    }
    const int* pretabRow = (!shortBlocks && granule->preflag) ? pretab : kNoPretab;

    SpectrumDecoder decoder(lines, scalefactors, *granule, pretabRow, list, listLength);
    const long endBit = decoder.bitPosition() + (granule->part23Length - part2Bits);
    const int bigValues = std::clamp(granule->bigValues, 0, kMaxPairs);
    int regionPairs[3];
    regionLengths(*granule, bigValues, regionPairs);
    const int quadruples = (kMaxPairs - bigValues) / 2;

    if (mixed) {
        // At the LSF and MPEG-2.5 rates the mixed list's 8 long bands end past
        // line 36, so its short part runs past the 576 values (to index 593, or
        // 611 at 8 kHz). Its bits are consumed exactly as the list says, and
        // the values that would land past the spectrum are dropped.
        decoder.lastBand[0] = decoder.lastBand[1] = decoder.lastBand[2] = 2;
    }
    const bool inside = mixed ? decodeList<true>(decoder, regionPairs, endBit, quadruples)
                              : decodeList<false>(decoder, regionPairs, endBit, quadruples);

    if (shortBlocks) {
        int highest = -1;
        for (int w = 0; w < 3; ++w) {
            granule->shortBandLimit[w] = decoder.lastBand[w] + 1;
            highest = std::max(highest, decoder.lastBand[w]);
        }
        granule->longBandLimit = decoder.lastBand[3] + 1;
        granule->activeSubbands = highest >= 0 ? shortSubbandLimit[samplingFrequency][highest + 1]
                                               : longSubbandLimit[samplingFrequency][granule->longBandLimit];
    } else {
        granule->longBandLimit = decoder.lastBand[3] + 1;
        granule->activeSubbands = longSubbandLimit[samplingFrequency][granule->longBandLimit];
    }

    // Data that ran past the trusted bytes of the reservoir area is an overrun
    // whatever the budget says: nothing is read beyond them.
    if (!inside) return 1;
    if (decoder.bitPosition() > endBit) {
        decoder.commitCursor();
        return 1;
    }
    decoder.skipTo(endBit);
    // Skipping moves the cursor without reading, but the next granule's
    // readers start from here: a budget that ends past the trusted bytes is
    // an overrun too.
    if (decoder.pastLimit()) return 1;
    decoder.commitCursor();
    return 0;
}

}  // namespace sorvil
