#include "app/console.h"

#include <cstdarg>
#include <cstdio>

namespace sorvil {

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
