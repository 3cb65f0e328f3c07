// Reading names as UTF-8 where they are, byte by byte where they are not.
#pragma once

namespace sorvil {

// The length of the valid UTF-8 sequence of two or more bytes at `bytes`, or
// 0 (an ASCII byte, or a byte that starts no valid sequence). Never reads
// past a terminator.
int utf8SequenceLength(const unsigned char* bytes);

// The next character of a name, and `bytes` moved past it: a valid UTF-8
// sequence gives its code point, and any other byte stands for itself, read
// as Latin-1.
int nextCharacter(const unsigned char*& bytes);

}  // namespace sorvil
