#include "app/utf8.h"

namespace sorvil {

int utf8SequenceLength(const unsigned char* bytes) {
    const unsigned lead = bytes[0];
    int length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    for (int i = 1; i < length; ++i)
        if ((bytes[i] & 0xC0) != 0x80) return 0;  // the terminator is no continuation byte
    // Overlong forms, surrogates and code points past U+10FFFF are not valid.
    if (length == 3 && ((lead == 0xE0 && bytes[1] < 0xA0) || (lead == 0xED && bytes[1] >= 0xA0))) return 0;
    if (length == 4 && ((lead == 0xF0 && bytes[1] < 0x90) || (lead == 0xF4 && bytes[1] >= 0x90))) return 0;
    return length;
}

int nextCharacter(const unsigned char*& bytes) {
    const int length = utf8SequenceLength(bytes);
    if (length == 0) return *bytes++;
    unsigned code = bytes[0] & (0xFFu >> (length + 1));
    for (int i = 1; i < length; ++i) code = code << 6 | (bytes[i] & 0x3F);
    bytes += length;
    return static_cast<int>(code);
}

}  // namespace sorvil
