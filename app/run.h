// The program's single run: start-up, the "music" folder, the scan and the
// song list file. Returns the exit status.
#pragma once

namespace sorvil {

int runSorvil(int argumentCount, char** arguments);

}  // namespace sorvil
