// Copying a song's file: through the kernel where it can, else through a
// buffer that shrinks when memory is short; always into a replacement file,
// so no half-written copy ever carries the target's name.
#pragma once

namespace sorvil {

// Folder descriptor for the plain-path forms.
extern const int kCurrentFolder;

// Copies the plain file `source` (in the open folder `sourceFolder`) to
// `target` (in `targetFolder`), which carries the source's access and
// modification times afterwards. 0, or -1 with errno set; on failure no file
// is left under the target's name (an earlier file there would be another
// song). A pipe or device is no song and is refused (EINVAL) without waiting.
// The copy is written under `temporary` (created only when nothing has that
// name) or, when null, under replacementName(target).
int copyFile(int sourceFolder, const char* source, int targetFolder, const char* target,
             const char* temporary = nullptr);
int copyFile(const char* source, const char* target);
// Copies to the end of the source. 0, or -1 with errno set.
int copyFileData(int sourceHandle, int targetHandle);

}  // namespace sorvil
