// Reading a mapped page that lies past a file's end raises SIGBUS. The one
// handler here maps zeros from that page to the end of the mapping and lets
// the read go on: the reader sees zeros, as it could in any damaged file, and
// ends as it always does, so nothing it holds is abandoned halfway (a jump out
// of the decoder would leave its process-wide state mid-frame). The owner
// asks wasCut() afterwards and throws the result away.
#include "platform/guarded_mapping.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace sorvil {

namespace {

// Read once, before any handler can run: sysconf is not safe in a handler.
const uintptr_t kPageBytes = uintptr_t(sysconf(_SC_PAGESIZE));

uintptr_t pageStart(uintptr_t address) { return address & ~(kPageBytes - 1); }

// The mappings the handler guards: a run maps one song at a time, a tool at
// most its two inputs.
constexpr int kGuardSlots = 4;
struct GuardSlot {
    std::atomic<uintptr_t> start{0};
    std::atomic<size_t> length{0};
    std::atomic<bool> cut{false};
};
GuardSlot guardSlots[kGuardSlots];

bool zeroFillFault(uintptr_t at) {
    for (GuardSlot& slot : guardSlots) {
        const uintptr_t start = slot.start.load();
        const size_t length = slot.length.load();
        if (start == 0 || at < start || at - start >= length) continue;
        const uintptr_t page = pageStart(at);
        void* zeros = mmap(reinterpret_cast<void*>(page), start + length - page, PROT_READ,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros == MAP_FAILED) return false;
        slot.cut.store(true);
        return true;
    }
    return false;
}

void onBusError(int signalNumber, siginfo_t* info, void*) {
    const int savedErrno = errno;
    // Not a read of a guarded file: the fault happens again on return and
    // ends the process as it would have without this handler.
    if (!zeroFillFault(reinterpret_cast<uintptr_t>(info->si_addr))) signal(signalNumber, SIG_DFL);
    errno = savedErrno;
}

bool handlerInstalled() {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        return sigaction(SIGBUS, &action, nullptr) == 0;
    }();
    return installed;
}

int claimSlot(uintptr_t start, size_t length) {
    for (int i = 0; i < kGuardSlots; ++i) {
        if (guardSlots[i].start.load() != 0) continue;
        guardSlots[i].cut.store(false);
        guardSlots[i].length.store(length);
        guardSlots[i].start.store(start);
        return i;
    }
    return -1;
}

uintptr_t pageEnd(uintptr_t address) { return pageStart(address + kPageBytes - 1); }

// Maps the file's data over `image`, a reservation of `size` bytes: each
// stretch that holds data at its own place, the holes left as the
// reservation's zeros. False (errno set) when the stretches cannot be found
// or mapped.
bool mapDataOver(uint8_t* image, int handle, size_t size) {
    off_t at = 0;
    while (size_t(at) < size) {
        const off_t data = lseek(handle, at, SEEK_DATA);
        if (data < 0) return errno == ENXIO;  // no data after `at`: the rest is a hole
        const off_t hole = lseek(handle, data, SEEK_HOLE);
        if (hole < 0) return false;
        const uintptr_t from = pageStart(uintptr_t(data));
        const uintptr_t to = pageEnd(std::min(size_t(hole), size));
        if (from >= to) break;  // the file grew since its size was taken
        if (mmap(image + from, to - from, PROT_READ, MAP_PRIVATE | MAP_FIXED, handle, off_t(from)) == MAP_FAILED)
            return false;
        at = hole;
    }
    return true;
}

// A file with holes (its blocks hold less than its size), e.g. on tmpfs,
// would have every hole a read passes filled with pages of the file system's
// own: a long read through a sparse file can fill the disk. Its holes are
// anonymous zero pages instead, which are the same bytes and take no room.
void* mapFile(int handle, size_t size) {
    struct stat info {};
    if (fstat(handle, &info) != 0) return MAP_FAILED;
    if (uint64_t(info.st_blocks) * 512 < size) {
        void* image = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (image == MAP_FAILED || mapDataOver(static_cast<uint8_t*>(image), handle, size)) return image;
        const int error = errno;
        munmap(image, size);
        errno = error;
        // More stretches than a process may hold mappings (ENOMEM), or a file
        // system that cannot tell data from holes: mapped whole, the file is
        // read right, and its holes cost room only as far as they are read.
        if (error != ENOMEM && error != EINVAL && error != EOPNOTSUPP) return MAP_FAILED;
    }
    return mmap(nullptr, size, PROT_READ, MAP_PRIVATE, handle, 0);
}

}  // namespace

int GuardedMapping::map(int handle, size_t size) {
    release();
    if (!handlerInstalled()) return -1;
    void* mapped = mapFile(handle, size);
    if (mapped == MAP_FAILED) return -1;
    slot_ = claimSlot(reinterpret_cast<uintptr_t>(mapped), size);
    if (slot_ < 0) {
        munmap(mapped, size);
        errno = EBUSY;
        return -1;
    }
    data_ = static_cast<const uint8_t*>(mapped);
    size_ = size;
    return 0;
}

void GuardedMapping::release() {
    if (!data_) return;
    guardSlots[slot_].start.store(0);
    guardSlots[slot_].length.store(0);
    munmap(const_cast<uint8_t*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
    slot_ = -1;
}

bool GuardedMapping::wasCut() const { return slot_ >= 0 && guardSlots[slot_].cut.load(); }

size_t GuardedMapping::pageBytes() { return size_t(kPageBytes); }

void GuardedMapping::advise(size_t from, size_t count, Advice advice) const {
    static constexpr int kAdvice[] = {MADV_RANDOM, MADV_WILLNEED, MADV_DONTNEED};
    if (!data_ || from >= size_) return;
    const uintptr_t base = reinterpret_cast<uintptr_t>(data_);
    const uintptr_t start = pageStart(base + from);
    const uintptr_t end = base + std::min(size_, from + count);
    madvise(reinterpret_cast<void*>(start), end - start, kAdvice[int(advice)]);
}

}  // namespace sorvil
