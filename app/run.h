// The program's single run: start-up, the "music" folder, the scan and the
// song list file. Returns the exit status.
#pragma once

#include "app/command_line.h"

namespace sorvil {

// Fatal conditions end the run here, not the process, so that main still
// checks standard output.
int runSorvil(const CommandLine& command);

// Initialises the library for this console tool: automatic system selection
// configured to take the display-less driver. False when it cannot be
// initialised; the library's file calls are not safe to use then.
bool startLibrary();

}  // namespace sorvil
