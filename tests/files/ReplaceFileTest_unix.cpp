// What a replacement keeps on Linux: permissions, owner, symbolic links; and a
// FIFO is never read.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "FilesFixture.h"
#include "ReadFile.h"
#include "ReplaceFile.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

TEST_F(FilesTest, OverwritesAnExistingFileAndKeepsItsPermissionsAndOwner) {
    const std::string path = File("table.dst");
    test::WriteBytes(path, std::string(200, 'x'));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    // Only the superuser may give the file away, and then must keep it so.
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
    ASSERT_EQ(::chown(path.c_str(), owner, static_cast<gid_t>(-1)), 0);
    ASSERT_TRUE(ReplaceFileContents(path, "new"));
    EXPECT_EQ(test::ReadBytes(path), "new");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(info.st_uid, owner);
}

TEST_F(FilesTest, NewFileGetsTheUsualPermissions) {
    const mode_t previous = ::umask(027);
    const bool written = ReplaceFileContents(File("new.dst"), "new");
    ::umask(previous);
    ASSERT_TRUE(written);
    struct stat info {};
    ASSERT_EQ(::stat(File("new.dst").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(FilesTest, WritesThroughASymbolicLink) {
    const fs::path dir = dir_.Path();
    test::WriteBytes(File("real.dst"), "old");
    fs::create_symlink(dir / "real.dst", dir / "link.dst");
    ASSERT_TRUE(ReplaceFileContents(File("link.dst"), "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.dst"));
    EXPECT_EQ(test::ReadBytes(File("real.dst")), "new");

    // A relative link whose file does not exist yet creates that file.
    fs::create_directory(dir / "sub");
    fs::create_symlink("../later.dst", dir / "sub" / "dangling.dst");
    ASSERT_TRUE(ReplaceFileContents(File("sub/dangling.dst"), "later"));
    EXPECT_TRUE(fs::is_symlink(dir / "sub" / "dangling.dst"));
    EXPECT_EQ(test::ReadBytes(File("later.dst")), "later");

    // A loop of links is refused and left as it is.
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    EXPECT_FALSE(ReplaceFileContents(File("loop-a"), "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "loop-a"));

    // A read-only file reached through a link is refused too.
    test::WriteBytes(File("locked.dst"), "precious");
    ASSERT_EQ(::chmod(File("locked.dst").c_str(), 0444), 0);
    fs::create_symlink("locked.dst", dir / "to-locked.dst");
    EXPECT_TRUE(IsReadOnlyFile(File("to-locked.dst")));
    EXPECT_FALSE(ReplaceFileContents(File("to-locked.dst"), "new"));
    EXPECT_EQ(test::ReadBytes(File("locked.dst")), "precious");
}

TEST_F(FilesTest, AFifoIsNeitherWaitedOnNorRead) {
    ASSERT_EQ(::mkfifo(File("fifo.dst").c_str(), 0600), 0);
    std::string text = "untouched";
    EXPECT_EQ(ReadFileStart(File("fifo.dst"), 75, text), ReadOutcome::Unusable);
    EXPECT_EQ(text, "untouched");
}

}  // namespace
}  // namespace velmora
