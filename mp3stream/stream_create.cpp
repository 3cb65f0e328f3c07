#include "mp3stream/mp3stream.h"

namespace sorvil {

Mp3Stream* mp3StreamCreate(const uint8_t*, int) { return nullptr; }  // TODO
int isFrameHeader(uint32_t) { return STREAM_FALSE; }  // TODO
uint32_t readBigEndian32(const uint8_t* b) {
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}
int id3v2Size(const uint8_t*) { return 0; }  // TODO

}  // namespace sorvil
