// How many files, folders and other system objects the test process holds
// open: unchanged across a call that leaks none.
#pragma once

namespace sorvil::test {

int openHandleCount();

}  // namespace sorvil::test
