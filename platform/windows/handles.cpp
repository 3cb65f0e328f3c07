// The numbers the interfaces hand out for open folders and files, each
// standing for a HANDLE and the full path it was opened by. Windows has no
// call relative to an open folder (openat), so a name in an open folder is
// reached by the folder's full path; the folder's HANDLE, which shares no
// deletion, keeps that path from being renamed or removed while it is held.
#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/windows/system.h"

namespace sorvil::windows {

namespace {

constexpr int kFirstNumber = 3;  // after standard input, output and error

class HandleTable {
public:
    int add(HANDLE handle, std::wstring path, bool isFolder) {
        std::lock_guard<std::mutex> guard(lock_);
        size_t slot = 0;
        while (slot < slots_.size() && slots_[slot].used) ++slot;
        if (slot == slots_.size()) slots_.emplace_back();
        slots_[slot] = {true, {handle, std::move(path), isFolder}};
        return int(slot) + kFirstNumber;
    }

    bool find(int number, OpenEntry& entry) {
        std::lock_guard<std::mutex> guard(lock_);
        const Slot* slot = at(number);
        if (!slot) return false;
        entry = slot->entry;
        return true;
    }

    // The HANDLE taken out of the table (INVALID_HANDLE_VALUE when it was
    // released); false when the number is not in use.
    bool remove(int number, HANDLE& handle) {
        std::lock_guard<std::mutex> guard(lock_);
        Slot* slot = at(number);
        if (!slot) return false;
        handle = slot->entry.handle;
        *slot = Slot{};
        return true;
    }

    void releaseHoldsOn(const std::wstring& path) {
        std::lock_guard<std::mutex> guard(lock_);
        for (Slot& slot : slots_) {
            if (!slot.used || !slot.entry.isFolder || slot.entry.path != path) continue;
            closeQuietly(slot.entry.handle);
            slot.entry.handle = INVALID_HANDLE_VALUE;
        }
    }

private:
    struct Slot {
        bool used = false;
        OpenEntry entry;
    };

    Slot* at(int number) {
        const size_t slot = size_t(number - kFirstNumber);
        return number >= kFirstNumber && slot < slots_.size() && slots_[slot].used ? &slots_[slot] : nullptr;
    }

    std::mutex lock_;
    std::vector<Slot> slots_;
};

// The process's one table: the interfaces' numbers are process-wide, as a
// system's descriptors are.
HandleTable& table() {
    static HandleTable handles;
    return handles;
}

HANDLE standardHandle(int number) {
    static constexpr DWORD kStandard[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    return GetStdHandle(kStandard[number]);
}

bool startsWith(const std::wstring& text, const wchar_t* start) { return text.rfind(start, 0) == 0; }

// The length of the part of a `\\?\` path that ".." never climbs above, its
// closing '\' included: "\\?\C:\", "\\?\UNC\server\share\", "\\?\Volume{...}\".
size_t rootLength(const std::wstring& path) {
    if (!startsWith(path, L"\\\\?\\")) return path.size();  // a device (\\.\CON): all root
    size_t at = 4;
    for (int parts = startsWith(path, L"\\\\?\\UNC\\") ? 3 : 1; parts > 0 && at < path.size(); --parts) {
        const size_t separator = path.find(L'\\', at);
        at = separator == std::wstring::npos ? path.size() : separator + 1;
    }
    return at;
}

// The `\\?\` form of a full Win32 path, which the system takes as it is.
std::wstring longForm(const std::wstring& full) {
    if (startsWith(full, L"\\\\?\\") || startsWith(full, L"\\\\.\\")) return full;
    if (startsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// A path the user gave (relative to the current folder, or full), made full
// by the system's own rules for such paths.
bool fullPathOf(const char* name, std::wstring& path) {
    const std::wstring wide = wideName(*name ? name : ".");
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    for (;;) {
        if (size == 0) return failedWithLastError();
        std::wstring full(size, L'\0');
        const DWORD used = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
        if (used < size) {
            full.resize(used);
            path = longForm(full);
            return true;
        }
        size = used;  // the current folder changed between the calls
    }
}

}  // namespace

std::wstring joinedPath(const std::wstring& base, const std::wstring& name) {
    const size_t root = rootLength(base);
    std::wstring path = base.substr(0, root);
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    const size_t rootEnd = path.size();
    std::wstring rest = base.substr(root);
    if (!rest.empty()) rest += L'\\';
    rest += name;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = rest.size();
        const std::wstring part = rest.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == L".") continue;
        if (part == L"..") {
            if (path.size() > rootEnd) path.erase(path.find_last_of(L'\\', path.size() - 2) + 1);
            continue;
        }
        path += part;
        path += L'\\';
    }
    if (path.size() > rootEnd) path.pop_back();  // a root keeps its '\': "\\?\C:" names the volume
    return path;
}

int addOpen(HANDLE handle, std::wstring path, bool isFolder) { return table().add(handle, std::move(path), isFolder); }

bool openEntry(int number, OpenEntry& entry) {
    if (number >= 0 && number < kFirstNumber) {
        entry = {standardHandle(number), L"", false};
        return true;
    }
    if (table().find(number, entry)) return true;
    errno = EBADF;
    return false;
}

HANDLE systemHandle(int number) {
    OpenEntry entry;
    if (!openEntry(number, entry)) return INVALID_HANDLE_VALUE;
    if (entry.handle == INVALID_HANDLE_VALUE) errno = EBADF;
    return entry.handle;
}

int closeOpen(int number) {
    if (number >= 0 && number < kFirstNumber) return 0;  // the process's own: they stay
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (!table().remove(number, handle)) {
        errno = EBADF;
        return -1;
    }
    return handle == INVALID_HANDLE_VALUE || CloseHandle(handle) ? 0 : failWithLastError();
}

void releaseHoldsOn(const std::wstring& path) { table().releaseHoldsOn(path); }

bool pathIn(int folder, const char* name, std::wstring& path) {
    if (folder == kCurrentFolderNumber) return fullPathOf(name, path);
    OpenEntry entry;
    if (!openEntry(folder, entry)) return false;
    if (!entry.isFolder) {
        errno = ENOTDIR;
        return false;
    }
    path = joinedPath(entry.path, wideName(name));
    return true;
}

HANDLE openShared(const std::wstring& path, DWORD access, DWORD flags) {
    const HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) failWithLastError();
    return handle;
}

void closeQuietly(HANDLE handle) {
    const int error = errno;
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    errno = error;
}

bool factsOf(HANDLE handle, HandleFacts& facts) {
    BY_HANDLE_FILE_INFORMATION information{};
    FILE_BASIC_INFO times{};
    if (!GetFileInformationByHandle(handle, &information) ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times))
        return failedWithLastError();
    facts.volume = information.dwVolumeSerialNumber;
    facts.index = uint64_t(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
    facts.size = uint64_t(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
    facts.links = information.nNumberOfLinks;
    facts.modified = times.LastWriteTime.QuadPart;
    facts.changed = times.ChangeTime.QuadPart;
    facts.attributes = information.dwFileAttributes;
    facts.isDisk = GetFileType(handle) == FILE_TYPE_DISK;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if ((facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        !GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
        return failedWithLastError();
    facts.reparseTag = tag.ReparseTag;
    return true;
}

bool factsAt(const std::wstring& path, HandleFacts& facts, DWORD flags) {
    const HANDLE handle = openShared(path, FILE_READ_ATTRIBUTES, flags);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool known = factsOf(handle, facts);
    closeQuietly(handle);
    return known;
}

}  // namespace sorvil::windows
