#include "platform/file_status.h"

#include <cwchar>

#include "platform/windows/system.h"

namespace sorvil::runtime {

using namespace sorvil::windows;

namespace {

// FILETIME counts 100 ns from 1601; the seconds from 1970 and the rest.
constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kTicksTo1970 = 116'444'736'000'000'000;

void splitTime(int64_t ticks, int64_t& seconds, int64_t& nanoseconds) {
    const int64_t since1970 = ticks - kTicksTo1970;
    seconds = since1970 / kTicksPerSecond;
    int64_t rest = since1970 % kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        --seconds;
    }
    nanoseconds = rest * 100;
}

int statusAt(int folder, const char* name, DWORD flags, FileStatus& status) {
    std::wstring path;
    HandleFacts facts;
    if (!pathIn(folder, name, path) || !factsAt(path, facts, flags)) return -1;
    const bool link = isLink(facts);
    status = {};
    status.device = facts.volume;
    status.inode = facts.index;
    status.size = facts.size;
    status.links = facts.links;
    splitTime(facts.modified, status.modifiedSeconds, status.modifiedNanoseconds);
    splitTime(facts.changed, status.changedSeconds, status.changedNanoseconds);
    status.isPlain = !link && isPlain(facts);
    status.isFolder = !link && (facts.attributes & FILE_ATTRIBUTE_DIRECTORY);
    return 0;
}

}  // namespace

int statusOf(int folder, const char* name, FileStatus& status) { return statusAt(folder, name, 0, status); }

int linkStatusOf(int folder, const char* name, FileStatus& status) {
    return statusAt(folder, name, FILE_FLAG_OPEN_REPARSE_POINT, status);
}

// The system asks the volume itself: no driver keeps stale times to look past.
int freshLinkStatusOf(int folder, const char* name, FileStatus& status) {
    return linkStatusOf(folder, name, status);
}

namespace {

// FAT, FAT32 or exFAT by the name of the volume's file system; true too when
// it cannot be told. NTFS keeps file indexes, change times and 100 ns times;
// the FAT family has no change time, makes the index up from where the entry
// lies, and keeps the modification time in steps of two seconds.
bool mayBeFat(int folder, const char* name) {
    std::wstring path;
    if (!pathIn(folder, name, path)) return true;
    const HANDLE file = openShared(path, FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) return true;
    wchar_t system[MAX_PATH + 1] = {};
    const bool named =
        GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH + 1);
    closeQuietly(file);
    if (!named) return true;
    for (const wchar_t* fat : {L"FAT", L"FAT12", L"FAT16", L"FAT32", L"exFAT", L"vfat"})
        if (_wcsicmp(system, fat) == 0) return true;
    return false;
}

}  // namespace

bool keepsInodeNumbers(int folder, const char* name) { return !mayBeFat(folder, name); }

// Nothing is asked ahead here: the system reads ahead for ReadFile itself.
bool asksAheadInVain(int, const char*) { return true; }

int64_t timeResolution(int folder, const char* name) { return mayBeFat(folder, name) ? 2000000000 : 1; }

}  // namespace sorvil::runtime
