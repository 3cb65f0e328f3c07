#include "app/console.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "app/utf8.h"

namespace sorvil {

namespace {

bool isControlByte(unsigned byte) { return byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F); }

// U+0080 to U+009F written as UTF-8: a terminal obeys these C1 controls as
// it obeys the bytes 0x80 to 0x9F. (bytes[1] exists: bytes[0] is no NUL.)
bool isUtf8C1Control(const unsigned char* bytes) { return bytes[0] == 0xC2 && bytes[1] >= 0x80 && bytes[1] <= 0x9F; }

void appendEscaped(std::string* shown, unsigned byte) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    *shown += escaped;
}

}  // namespace

std::string printable(const char* name) {
    std::string shown;
    const auto* bytes = reinterpret_cast<const unsigned char*>(name);
    while (*bytes) {
        if (isUtf8C1Control(bytes)) {
            // Both bytes, so that what is shown names the bytes on disk.
            appendEscaped(&shown, bytes[0]);
            appendEscaped(&shown, bytes[1]);
            bytes += 2;
            continue;
        }
        if (int length = utf8SequenceLength(bytes)) {
            shown.append(reinterpret_cast<const char*>(bytes), length);
            bytes += length;
            continue;
        }
        if (isControlByte(*bytes))
            appendEscaped(&shown, *bytes);
        else if (*bytes == '\\')
            shown += "\\\\";  // so that a name's own "\x1B" cannot pass for an escaped byte
        else
            shown += static_cast<char>(*bytes);
        ++bytes;
    }
    return shown;
}

std::string formatLine(const char* format, ...) {
    va_list arguments, measured;
    va_start(arguments, format);
    va_copy(measured, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measured);
    va_end(measured);
    std::string line;
    if (length < 0) {
        line = format;
    } else {
        line.resize(size_t(length) + 1);  // room for the terminating NUL vsnprintf writes
        std::vsnprintf(line.data(), line.size(), format, arguments);
        line.resize(size_t(length));
    }
    va_end(arguments);
    return line;
}

// Standard output, not the library's message output: that one would cut the
// line end off and turn every non-ASCII byte into a look-alike or a '^'.
// Saying what failed leaves errno as the failure left it, for whoever acts
// on it next (the first write to a redirected output sets ENOTTY). A failed
// write shows in the stream's error state, which main checks.
void consoleLine(const char* format, ...) {
    const int error = errno;
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::putchar('\n');
    errno = error;
}

void consoleLineStart(const char* format, ...) {
    const int error = errno;
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    errno = error;
}

}  // namespace sorvil
