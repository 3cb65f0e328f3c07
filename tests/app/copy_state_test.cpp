#include "app/copy_state.h"

#include <gtest/gtest.h>

namespace sorvil {
namespace {

constexpr int64_t FUSE = 2000000000, LOCAL = 1;  // the coarsest steps the run assumes

// A song's change and the record's stamp as file systems report them: one
// stamped before the other, at the step their file system keeps.
const struct {
    const char* what;
    Stamp changed, reference;
    bool before;
} STAMPS[] = {
    {"NTFS, 8 ms apart in one 10 ms step", {100, 241341500, 7, FUSE}, {100, 249181200, 7, FUSE}, true},
    {"NTFS, one 100 ns step", {100, 249181200, 7, FUSE}, {100, 249181200, 7, FUSE}, false},
    {"NTFS, a later change", {100, 249181300, 7, FUSE}, {100, 249181200, 7, FUSE}, false},
    {"exFAT, one 10 ms step", {100, 240000000, 7, FUSE}, {100, 240000000, 7, FUSE}, false},
    {"exFAT, the next 10 ms step", {100, 240000000, 7, FUSE}, {100, 250000000, 7, FUSE}, true},
    {"FAT, one two-second step", {100, 0, 7, FUSE}, {101, 0, 7, FUSE}, false},
    {"FAT, the next two-second step", {100, 0, 7, FUSE}, {102, 0, 7, FUSE}, true},
    {"whole seconds, one second", {100, 0, 7, LOCAL}, {100, 999999999, 7, LOCAL}, false},
    {"ext4, one nanosecond apart", {100, 123456788, 7, LOCAL}, {100, 123456789, 7, LOCAL}, true},
    {"two file systems, 8 ms apart in one 10 ms step", {100, 241341500, 3, LOCAL}, {100, 249181200, 7, FUSE}, false},
    {"two file systems, 10 ms steps apart", {100, 239999999, 3, LOCAL}, {100, 249181200, 7, FUSE}, true},
};

TEST(CopyState, AChangeIsOlderThanTheRecordOnlyInAnEarlierStepOfEitherStamp) {
    for (const auto& stamps : STAMPS)
        EXPECT_EQ(stampedBefore(stamps.changed, stamps.reference), stamps.before) << stamps.what;
}

}  // namespace
}  // namespace sorvil
