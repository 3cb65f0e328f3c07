// Cards are made and mounted with Linux's tools (FUSE, loop devices): for the
// Linux-only end-to-end tests, nothing on Windows.
#ifndef _WIN32

#include "support/card_image.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace sorvil::test {

namespace {

bool has(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

bool quietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string outputOf(const std::string& command) {
    std::string output;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        pclose(pipe);
    }
    while (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
}

}  // namespace

const char* cardFileSystemName(CardFileSystem kind) {
    switch (kind) {
        case CardFileSystem::Fat32: return "FAT32";
        case CardFileSystem::Exfat: return "exFAT";
        case CardFileSystem::Ntfs: return "NTFS";
        case CardFileSystem::Ext4WholeSeconds: return "ext4 of whole seconds";
    }
    return "?";
}

std::string CardImage::make() {
    const std::vector<std::vector<std::string>> tools = {{"mkfs.vfat", "fusefat", "fusermount"},
                                                         {"mkfs.exfat", "mount.exfat-fuse", "fusermount", "losetup"},
                                                         {"mkfs.ntfs", "ntfs-3g", "fusermount"},
                                                         {"mkfs.ext4", "mount", "umount"}};
    for (const std::string& tool : tools[int(kind_)])
        if (!has(tool)) return tool + " is missing";
    const bool fuse = kind_ != CardFileSystem::Ext4WholeSeconds;
    if (fuse && access("/dev/fuse", W_OK) != 0) return "/dev/fuse cannot be opened";
    if (!fuse && geteuid() != 0) return "only root mounts an ext4 image";
    const std::string made[] = {"mkfs.vfat -F 32 ", "mkfs.exfat ", "mkfs.ntfs -F -Q ", "mkfs.ext4 -q -F -I 128 "};
    if (!quietly("truncate -s 64M '" + image_ + "' && mkdir -p '" + mountPoint_ + "' && " + made[int(kind_)] + "'" +
                 image_ + "'"))
        return std::string("mkfs cannot make ") + cardFileSystemName(kind_);
    if (kind_ == CardFileSystem::Exfat) {
        loopDevice_ = outputOf("losetup -f --show '" + image_ + "' 2>/dev/null");
        if (loopDevice_.empty()) return "no loop device can be had";
    }
    if (!mount()) return std::string(cardFileSystemName(kind_)) + " cannot be mounted here";
    return {};
}

bool CardImage::mount() {
    const std::string at = " '" + mountPoint_ + "'";
    switch (kind_) {
        case CardFileSystem::Fat32: mounted_ = quietly("fusefat -o rw+ '" + image_ + "'" + at); break;
        case CardFileSystem::Exfat: mounted_ = quietly("mount.exfat-fuse " + loopDevice_ + at); break;
        case CardFileSystem::Ntfs: mounted_ = quietly("ntfs-3g '" + image_ + "'" + at); break;
        case CardFileSystem::Ext4WholeSeconds: mounted_ = quietly("mount -o loop '" + image_ + "'" + at); break;
    }
    return mounted_;
}

bool CardImage::unmount() {
    if (mounted_) {
        const std::string command = kind_ == CardFileSystem::Ext4WholeSeconds ? "umount '" : "fusermount -u '";
        mounted_ = !quietly(command + mountPoint_ + "'");
        if (mounted_) return false;
    }
    return true;
}

CardImage::~CardImage() {
    if (unmount() && !loopDevice_.empty()) quietly("losetup -d " + loopDevice_);
}

bool CardImage::remount() { return unmount() && mount(); }

}  // namespace sorvil::test

#endif
