#include "input_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "pcm_compare.h"

namespace sorvil {

bool InputImage::open(const std::string& path, size_t largest) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && uint64_t(info.st_size) > largest) {
        close(fd);
        errno = EFBIG;
        return false;
    }
    if (S_ISREG(info.st_mode) && info.st_size > 0 && mapped_.map(fd, size_t(info.st_size)) == 0) {
        mapped_.advise(0, mapped_.size(), GuardedMapping::Advice::WillNeed);  // it is read whole, front to back
        close(fd);
        return true;
    }
    close(fd);
    return readBinaryFile(path, &read_, largest);
}

}  // namespace sorvil
