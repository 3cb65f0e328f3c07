// UTF-8 <-> UTF-16 for names. The system's names are UTF-16 that need not be
// well formed; they are carried as generalised UTF-8 (an unpaired surrogate
// as its own 3-byte sequence), so every name listed can be named again.
#include "platform/windows/system.h"

namespace sorvil::windows {

namespace {

// The code point of the sequence at `at`, moving past it; U+FFFD (one byte
// taken) for a byte that starts no sequence, or a sequence cut short, too
// long for its value, or past U+10FFFF.
char32_t nextCodePoint(const unsigned char*& at) {
    const unsigned lead = *at++;
    if (lead < 0x80) return lead;
    const int trailing = lead >= 0xF5 ? -1 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
    if (trailing < 0) return 0xFFFD;
    char32_t value = lead & (0x3F >> trailing);
    for (int i = 0; i < trailing; ++i) {
        if ((at[i] & 0xC0) != 0x80) return 0xFFFD;
        value = value << 6 | (at[i] & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[trailing] || value > 0x10FFFF) return 0xFFFD;
    at += trailing;
    return value;
}

void appendUtf8(std::string& text, char32_t value) {
    if (value < 0x80) {
        text += char(value);
    } else if (value < 0x800) {
        text += char(0xC0 | value >> 6);
        text += char(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        text += char(0xE0 | value >> 12);
        text += char(0x80 | (value >> 6 & 0x3F));
        text += char(0x80 | (value & 0x3F));
    } else {
        text += char(0xF0 | value >> 18);
        text += char(0x80 | (value >> 12 & 0x3F));
        text += char(0x80 | (value >> 6 & 0x3F));
        text += char(0x80 | (value & 0x3F));
    }
}

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

}  // namespace

std::wstring wideName(const char* name) {
    std::wstring wide;
    const auto* at = reinterpret_cast<const unsigned char*>(name);
    while (*at) {
        const char32_t value = nextCodePoint(at);
        if (value >= 0x10000) {
            wide += wchar_t(0xD800 + ((value - 0x10000) >> 10));
            wide += wchar_t(0xDC00 + ((value - 0x10000) & 0x3FF));
        } else {
            wide += wchar_t(value);  // an unpaired surrogate too, as it came
        }
    }
    return wide;
}

std::string utf8Name(const wchar_t* name, size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        const char32_t unit = char16_t(name[i]);
        if (isHighSurrogate(unit) && i + 1 < length && isLowSurrogate(char16_t(name[i + 1]))) {
            appendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (char16_t(name[i + 1]) - 0xDC00));
            ++i;
        } else {
            appendUtf8(text, unit);
        }
    }
    return text;
}

std::string utf8Name(const std::wstring& name) { return utf8Name(name.data(), name.size()); }

}  // namespace sorvil::windows
