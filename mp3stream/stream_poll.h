// What the decoding loop reports beyond its poll result.
#pragma once

namespace sorvil {

// Bytes at the start of the buffer that the last mp3StreamPoll handed back
// which hold decoded PCM (the rest of that buffer is silence); 0 when that
// poll handed back no buffer. Lets a caller that collects the buffers, such
// as the decode tool, keep exactly the decoded frames.
int mp3StreamPolledPcmBytes();

}  // namespace sorvil
