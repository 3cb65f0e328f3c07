// A file system of the kind a card or a Windows disk has, made in an image
// file and mounted as Debian mounts it (FAT32 through fusefat, exFAT through
// exfat-fuse on a loop device, NTFS through ntfs-3g), or an ext4 of whole-
// second times (loop-mounted); unmounted again at the end.
#pragma once

#include <string>

namespace sorvil::test {

enum class CardFileSystem { Fat32, Exfat, Ntfs, Ext4WholeSeconds };

const char* cardFileSystemName(CardFileSystem kind);

class CardImage {
public:
    CardImage(CardFileSystem kind, const std::string& image, const std::string& mountPoint)
        : kind_(kind), image_(image), mountPoint_(mountPoint) {}
    ~CardImage();
    CardImage(const CardImage&) = delete;
    CardImage& operator=(const CardImage&) = delete;

    // Makes the file system and mounts it: empty, or why it cannot be (a
    // tool, /dev/fuse or a loop device missing), for the test to skip.
    std::string make();
    // Unmounts and mounts again, as a card taken out and put back (a loop
    // device is kept until the end): false when either fails.
    bool remount();

private:
    bool unmount();
    bool mount();

    CardFileSystem kind_;
    std::string image_, mountPoint_, loopDevice_;
    bool mounted_ = false;
};

}  // namespace sorvil::test
