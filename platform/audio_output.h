// The seam between the stream decoding loop and an audio output: the next
// free buffer, handing a filled buffer back, stopping. In the product it wraps
// a library audio stream; tests and the decode tool attach a memory sink.
#pragma once

namespace sorvil {

struct AudioOutput {
    virtual ~AudioOutput() = default;
    // The next free buffer, or null when none is free yet.
    virtual void* getBuffer() = 0;
    // Hands back the buffer last returned by getBuffer.
    virtual void freeBuffer() = 0;
    virtual void stop() = 0;
    // Removes the timer callback that polls into this output, if one was
    // installed through it (harmless otherwise, and when repeated). Once it
    // returns the callback is not called again. A call under way is waited
    // for only while the callback is still registered, not when the callback
    // has just removed itself (see autoPollingLock). Only an output that can
    // install one has a callback to remove, so a program that never creates
    // such an output (the decode tool) never links the library's timers.
    virtual void removeTimerCallback() {}
};

}  // namespace sorvil
