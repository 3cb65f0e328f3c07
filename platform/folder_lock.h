// A folder's lock, held by an open descriptor and dropped by the kernel when
// the process ends however it ends, so a killed holder never blocks the next.
#pragma once

namespace sorvil::runtime {

// Takes the exclusive lock of the open folder `folder` without waiting, on a
// descriptor of the folder's own (a place-only one from openFolder takes no
// lock). `handle` receives that descriptor, -1 when the folder could not be
// opened; it holds the lock until closed with closeFile. 0, or -1 with errno
// set: EWOULDBLOCK when another holds the lock.
int lockFolder(int folder, int& handle);
// True for the errno of a lock the file system cannot take at all.
bool lockingUnsupported(int error);

}  // namespace sorvil::runtime
