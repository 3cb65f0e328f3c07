// A file replaced whole: the new contents are written under a temporary name
// beside it and renamed onto it only when complete, so a failure or a power
// cut leaves the old file or the new one, never a part of either, and a link
// standing at the name is replaced, never written through.
#pragma once

#include <string>

#include "platform/owns_resource.h"

namespace sorvil {

class ReplacementFile : OwnsResource {
public:
    // Unless committed, the temporary file is removed.
    ~ReplacementFile() { abandon(); }

    // Creates the temporary file for `name` in the open folder `folder`
    // (mode 0666 less the umask), removing one an interrupted run left under
    // replacementName(name). -1 with errno set.
    int create(int folder, const char* name);
    // The same under the caller's `temporary` name, created only when nothing
    // has that name (EEXIST): nothing there is ever removed or written.
    int createAs(int folder, const char* name, const char* temporary);
    // The temporary file's descriptor, open for writing; -1 before create.
    int handle() const { return handle_; }
    // Closes the temporary file and renames it onto the name. `durable`:
    // flushed to the disk before the rename and the folder after it. -1 with
    // errno set on failure; replaced() then says whether the rename was made
    // (only the folder's flush failed) or the old file is still there.
    int commit(bool durable);
    bool replaced() const { return replaced_; }
    // Removes the temporary file; the name keeps what it had.
    void abandon();

private:
    int folder_ = -1;
    int handle_ = -1;
    std::string name_;
    std::string temporary_;
    bool replaced_ = false;
};

// The temporary name beside `name` under which its replacement is written.
std::string replacementName(const std::string& name);

}  // namespace sorvil
