// Saving files on every system: the Linux build and the Windows one under Wine run these alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/atomic_file.h"
#include "support/scratch_folder.h"

namespace panelgrab {
namespace {

namespace fs = std::filesystem;

// A replaced file is the whole new one; a failed write leaves the old one and no temporary file; an
// output folder is checked before anything is written.
TEST(AtomicFile, ReplacesWholeAndLosesNothingOnFailure) {
    const test::ScratchFolder scratch;
    const fs::path& folder = scratch.path();
    const fs::path target = folder / "shot.png";
    std::ofstream(target) << "an older and longer file";
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(target.string(), "new", 3, error)) << error;
    EXPECT_EQ(test::ReadFile(target), "new");

    fs::create_directory(folder / "taken.png");
    for (const fs::path& refused : {folder / "taken.png", folder / "missing" / "x.png", fs::path()}) {
        std::string reason;
        EXPECT_FALSE(WriteFileAtomically(refused.string(), "x", 1, reason)) << refused;
        EXPECT_FALSE(reason.empty()) << refused;
    }
    EXPECT_TRUE(fs::is_directory(folder / "taken.png"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);

    EXPECT_TRUE(CanCreateFileAt(target.string(), error));
    EXPECT_FALSE(CanCreateFileAt((folder / "missing" / "x.png").string(), error));
    EXPECT_FALSE(CanCreateFileAt((target / "x.png").string(), error)); // a file, not a folder
    EXPECT_EQ(FolderOf("x.png"), ".");
    EXPECT_EQ(FolderOf("/x.png"), "/");
    EXPECT_EQ(FolderOf("a/b/x.png"), "a/b");
}

#ifndef _WIN32
// The new file has the old one's permissions; a folder we may not write to keeps the file as it was.
TEST(AtomicFile, KeepsThePermissionsAndARefusingFoldersFile) {
    const test::ScratchFolder scratch;
    const fs::path target = scratch.path() / "shot.png";
    std::ofstream(target) << "old";
    const fs::perms permissions = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(target, permissions);
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(target.string(), "new", 3, error)) << error;
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, permissions);

    fs::permissions(scratch.path(), fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(scratch.path().c_str(), W_OK) != 0) { // root may write anyway
        EXPECT_FALSE(WriteFileAtomically(target.string(), "x", 1, error));
        EXPECT_EQ(test::ReadFile(target), "new");
    }
    fs::permissions(scratch.path(), fs::perms::owner_all);
}
#endif

} // namespace
} // namespace panelgrab
