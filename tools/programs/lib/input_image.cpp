#include "input_image.h"

#include <cerrno>

#include "pcm_compare.h"
#include "platform/file_copy.h"
#include "platform/runtime.h"

namespace sorvil {

bool InputImage::open(const std::string& path, size_t largest) {
    const runtime::OpenedFile file = runtime::openForReading(kCurrentFolder, path.c_str());
    if (file.handle < 0) return false;
    if (file.isPlain && file.size > largest) {
        runtime::closeFile(file.handle);
        errno = EFBIG;
        return false;
    }
    if (file.isPlain && file.size > 0 && mapped_.map(file.handle, size_t(file.size)) == 0) {
        mapped_.advise(0, mapped_.size(), GuardedMapping::Advice::WillNeed);  // it is read whole, front to back
        runtime::closeFile(file.handle);
        return true;
    }
    runtime::closeFile(file.handle);  // read only: nothing can be lost by its close
    return readBinaryFile(path, &read_, largest);
}

}  // namespace sorvil
