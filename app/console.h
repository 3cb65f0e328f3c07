// The run's console: every progress line and every message of the run is
// shown through these two calls, so none can be left without its line end
// and names are shown byte for byte as they are.
#pragma once

#include <string>

namespace sorvil {

// A name as the console shows it: control bytes (C0, DEL, and C1 bytes that
// are not part of a UTF-8 character) as \xHH, and C1 controls written as
// UTF-8 (C2 80 to C2 9F) as both their bytes (\xC2\x9B), so that no name can
// move the cursor, clear the screen or retitle the terminal; a backslash as
// \\, so that a name's own "\x1B" cannot pass for an escaped byte. Everything
// else is shown byte for byte.
std::string printable(const char* name);
inline std::string printable(const std::string& name) { return printable(name.c_str()); }

// One formatted line, kept to be shown later.
std::string formatLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Shows one formatted line and ends it. Both leave errno as they found it.
void consoleLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Shows the start of a line that the next consoleLine completes: a song's
// title before its time (or before a message about it).
void consoleLineStart(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace sorvil
