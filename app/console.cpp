#include "app/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "app/utf8.h"

namespace sorvil {

namespace {

bool isControlByte(unsigned byte) { return byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F); }

}  // namespace

std::string printable(const char* name) {
    std::string shown;
    const auto* bytes = reinterpret_cast<const unsigned char*>(name);
    while (*bytes) {
        if (int length = utf8SequenceLength(bytes)) {
            shown.append(reinterpret_cast<const char*>(bytes), length);
            bytes += length;
            continue;
        }
        if (isControlByte(*bytes)) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", *bytes);
            shown += escaped;
        } else {
            shown += static_cast<char>(*bytes);
        }
        ++bytes;
    }
    return shown;
}

std::string formatLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    char* text = nullptr;
    const int length = vasprintf(&text, format, arguments);
    va_end(arguments);
    std::string line = length < 0 ? std::string(format) : std::string(text, size_t(length));
    std::free(text);
    return line;
}

// Standard output, not the library's message output: that one would cut the
// line end off and turn every non-ASCII byte into a look-alike or a '^'.
void consoleLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::putchar('\n');
}

void consoleLineStart(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
}

}  // namespace sorvil
