#include "input_image.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "pcm_compare.h"

namespace sorvil {

namespace {

const char* vanishedMessage = "";

void onBusError(int) {
    const ssize_t ignored = write(STDERR_FILENO, vanishedMessage, std::strlen(vanishedMessage));
    (void)ignored;
    _exit(1);
}

}  // namespace

InputImage::~InputImage() {
    if (mapped_) munmap(const_cast<uint8_t*>(mapped_), mappedSize_);
}

bool InputImage::open(const std::string& path, size_t largest) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && uint64_t(info.st_size) > largest) {
        close(fd);
        errno = EFBIG;
        return false;
    }
    if (S_ISREG(info.st_mode) && info.st_size > 0) {
        void* at = mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (at != MAP_FAILED) {
            mapped_ = static_cast<const uint8_t*>(at);
            mappedSize_ = size_t(info.st_size);
            close(fd);
            return true;
        }
    }
    close(fd);
    return readBinaryFile(path, &read_, largest);
}

void endQuietlyOnVanishedInput(const char* message) {
    vanishedMessage = message;
    struct sigaction action {};
    action.sa_handler = onBusError;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
}

}  // namespace sorvil
