#include "mp3stream/mp3stream.h"

namespace sorvil {

int mp3StreamIsPlaying(const Mp3Stream* s) { return s->audioStream ? STREAM_TRUE : STREAM_FALSE; }
void mp3StreamStop(Mp3Stream*) {}  // TODO
void mp3StreamRewind(Mp3Stream*) {}  // TODO
int mp3StreamResetDecoder(Mp3Stream*) { return 0; }  // TODO
void mp3StreamDestroy(Mp3Stream*) {}  // TODO

}  // namespace sorvil
