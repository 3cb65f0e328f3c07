// Turning the decoder's signed 16-bit little-endian samples into the unsigned
// ones an audio output plays, and back: the same flip of each sample's top bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sorvil {

// Copies `size` bytes from `from` to `to` (which may be the same place),
// flipping the top bit of every sample: each byte at an odd offset.
void copyFlippingSigns(uint8_t* to, const uint8_t* from, size_t size);

}  // namespace sorvil
