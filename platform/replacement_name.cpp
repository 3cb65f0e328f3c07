// The temporary name a replacement is written under, the same on every system.
#include "platform/replacement_file.h"

namespace sorvil {

std::string replacementName(const std::string& name) {
    const size_t slash = name.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return name.substr(0, nameStart) + "." + name.substr(nameStart) + ".partial";
}

}  // namespace sorvil
