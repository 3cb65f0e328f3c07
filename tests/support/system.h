// What the test helpers ask of the system, each with a POSIX and a Windows
// side (system.cpp): memory pages and the heap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sorvil::test {

size_t pageSize();
// `bytes` (whole pages) of fresh readable and writable memory; nullptr when
// there is none.
uint8_t* mapPages(size_t bytes);
// Makes the pages at `at` unreadable; false when they cannot be.
bool forbidPages(uint8_t* at, size_t bytes);
void unmapPages(uint8_t* at, size_t bytes);
// The bytes the heap block at `block` can hold.
size_t usableSize(void* block);

}  // namespace sorvil::test
