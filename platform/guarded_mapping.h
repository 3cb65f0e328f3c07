// A read-only mapping of a whole file that survives the file being cut short
// while it is mapped: the pages past the new end read as zeros instead of
// killing the process, and the mapping says so afterwards. Where a system
// cannot guard a mapping so, the file is read whole into memory instead,
// with the same promise.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/owns_resource.h"

namespace sorvil {

class GuardedMapping : OwnsResource {
public:
    ~GuardedMapping() { release(); }

    // Maps `size` bytes (more than 0) of the open file `handle`, which the
    // caller still closes; a sparse file's holes are mapped as zeros of no
    // file's, so that reading them fills no disk. -1 with errno set when it
    // cannot be mapped or guarded (EBUSY: too many mappings are guarded at
    // once).
    int map(int handle, size_t size);
    void release();

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    // True when the file shrank while it was mapped: what was read of it
    // since is zeros, not the file.
    bool wasCut() const;
    // What the reader tells the kernel of the bytes [from, from + count) of
    // the mapping, widened to whole pages: read at random (no read-ahead
    // past what is touched), needed soon, or no longer needed (clean pages
    // of the file, read again from it if touched). Advice changes no result,
    // so a refusal is not reported.
    enum class Advice { Random, WillNeed, DontNeed };
    void advise(size_t from, size_t count, Advice advice) const;
    // The size of a page: what the mapping and its advice are made of.
    static size_t pageBytes();

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    int slot_ = -1;     // the guard's, where the mapping is guarded
    bool cut_ = false;  // where the file is read: it ended before `size`
};

}  // namespace sorvil
