#include "mp3stream/mp3stream.h"

namespace sorvil {

int mp3StreamTotalFrames(const Mp3Stream* s) { return s->totalFrames; }
int mp3StreamBytesPerSecond(const Mp3Stream*) { return 1; }  // TODO
int mp3StreamFrameMs(const Mp3Stream*) { return 0; }  // TODO
int mp3StreamLengthMs(const Mp3Stream*) { return 0; }  // TODO
int mp3StreamLengthSeconds(const Mp3Stream*) { return 0; }  // TODO

}  // namespace sorvil
