// The run's console: every progress line and every message of the run is
// shown through these two calls, so none can be left without its line end
// and names are shown byte for byte as they are.
#pragma once

namespace sorvil {

// Shows one formatted line and ends it.
void consoleLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Shows the start of a line that the next consoleLine completes: a song's
// title before its time (or before a message about it).
void consoleLineStart(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace sorvil
