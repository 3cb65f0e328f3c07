#include "platform/file_copy.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/replacement_file.h"
#include "platform/runtime.h"
#include "platform/windows/system.h"

namespace sorvil {

using namespace sorvil::windows;

const int kCurrentFolder = kCurrentFolderNumber;

namespace {

constexpr DWORD LARGEST_COPY_BUFFER = 16384;
constexpr DWORD SMALLEST_COPY_BUFFER = 128;

// Through a buffer that shrinks when memory is short. 0, or -1 with errno set.
int copyBetween(HANDLE source, HANDLE target) {
    DWORD bufferSize = LARGEST_COPY_BUFFER;
    char* buffer = static_cast<char*>(std::malloc(bufferSize));
    while (!buffer && bufferSize > SMALLEST_COPY_BUFFER) {
        bufferSize /= 2;
        buffer = static_cast<char*>(std::malloc(bufferSize));
    }
    if (!buffer) {
        errno = ENOMEM;
        return -1;
    }
    int result = 0;
    for (;;) {
        DWORD got = 0, put = 0;
        if (!ReadFile(source, buffer, bufferSize, &got, nullptr)) {
            result = GetLastError() == ERROR_HANDLE_EOF ? 0 : failWithLastError();
            break;
        }
        if (got == 0) break;
        for (DWORD done = 0; done < got && result == 0; done += put)
            if (!WriteFile(target, buffer + done, got - done, &put, nullptr)) result = failWithLastError();
        if (result != 0) break;
    }
    const int error = errno;
    std::free(buffer);
    errno = error;
    return result;
}

// The source's access and modification times, which mark the copy as up to
// date for the next run; a time of 0 is one the call leaves as it is.
bool sameTimes(HANDLE source, HANDLE target) {
    FILE_BASIC_INFO from{}, to{};
    if (!GetFileInformationByHandleEx(source, FileBasicInfo, &from, sizeof from)) return failedWithLastError();
    to.LastAccessTime = from.LastAccessTime;
    to.LastWriteTime = from.LastWriteTime;
    return SetFileInformationByHandle(target, FileBasicInfo, &to, sizeof to) || failedWithLastError();
}

int copyIntoReplacement(HANDLE source, int targetFolder, const char* target) {
    ReplacementFile copy;
    if (copy.create(targetFolder, target) != 0) return -1;
    const HANDLE written = systemHandle(copy.handle());
    if (copyBetween(source, written) != 0 || !sameTimes(source, written)) return -1;
    return copy.commit(false);
}

// True when `path` names the very file `source` is (a link to it).
bool isSameFile(const HandleFacts& source, const std::wstring& path) {
    HandleFacts existing;
    const int error = errno;
    const bool same = factsAt(path, existing) && existing.volume == source.volume && existing.index == source.index;
    errno = error;
    return same;
}

}  // namespace

int copyFile(int sourceFolder, const char* source, int targetFolder, const char* target) {
    std::wstring sourcePath, targetPath;
    if (!pathIn(sourceFolder, source, sourcePath) || !pathIn(targetFolder, target, targetPath)) return -1;
    const HANDLE from = openShared(sourcePath, GENERIC_READ);
    int result = -1;
    HandleFacts facts;
    if (from != INVALID_HANDLE_VALUE && factsOf(from, facts)) {
        if (!isPlain(facts))
            errno = EINVAL;
        else if (isSameFile(facts, targetPath))
            result = 0;  // the target is the source itself (a link to it): it holds the copy
        else
            result = copyIntoReplacement(from, targetFolder, target);
    }
    if (from != INVALID_HANDLE_VALUE) closeQuietly(from);
    if (result == 0) return 0;
    const int error = errno;
    DeleteFileW(targetPath.c_str());
    errno = error;
    return -1;
}

int copyFile(const char* source, const char* target) { return copyFile(kCurrentFolder, source, kCurrentFolder, target); }

int copyFileData(int sourceHandle, int targetHandle) {
    const HANDLE source = systemHandle(sourceHandle);
    const HANDLE target = systemHandle(targetHandle);
    if (source == INVALID_HANDLE_VALUE || target == INVALID_HANDLE_VALUE) return -1;
    return copyBetween(source, target);
}

}  // namespace sorvil
