#include "mp3stream/mp3stream.h"

namespace sorvil {

void flipSampleSigns(Mp3Stream*, uint8_t*) {}  // TODO
int decodeOneFrame(Mp3Stream*, const uint8_t*, uint8_t*, int*, int*) { return FRAME_FAILED; }  // TODO
int mp3StreamPoll(Mp3Stream*) { return POLL_NOT_PLAYING; }  // TODO
void pollTimerCallback(void* parameter) { mp3StreamPoll(static_cast<Mp3Stream*>(parameter)); }

}  // namespace sorvil
