// What holds something of the system's (a mapping, a temporary file, open
// folders) and lets it go when destroyed: a copy would let it go twice.
#pragma once

namespace sorvil {

class OwnsResource {
protected:
    OwnsResource() = default;
    ~OwnsResource() = default;

public:
    OwnsResource(const OwnsResource&) = delete;
    OwnsResource& operator=(const OwnsResource&) = delete;
};

}  // namespace sorvil
