// Standard output as a file: its identity, and bytes written to it unchanged.
#pragma once

#include "platform/runtime.h"

namespace sorvil::runtime {

// Makes standard output carry bytes as they are written (where the system's
// text mode would store each "\n" as CR LF); false, with errno set, when it
// cannot.
bool makeStandardOutputBinary();
// The identity of the file standard output writes to; false, with errno
// set, when it cannot be examined.
bool identityOfStandardOutput(FileIdentity& identity);

}  // namespace sorvil::runtime
