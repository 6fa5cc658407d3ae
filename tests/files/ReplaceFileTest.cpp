// The safe replacement and the reading of a file's start, on both systems.
#include <filesystem>

#include "FilesFixture.h"
#include "ReadFile.h"
#include "ReplaceFile.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

TEST_F(FilesTest, ReplacesAWholeFileAndLeavesNoTemporaryFile) {
    const std::string path = File("table.dst");
    test::WriteBytes(path, std::string(200, 'x'));
    ASSERT_TRUE(ReplaceFileContents(path, std::string("new\0bytes", 9)));
    EXPECT_EQ(test::ReadBytes(path), std::string("new\0bytes", 9));
    ASSERT_TRUE(ReplaceFileContents(File("fresh.dst"), "fresh"));
    EXPECT_EQ(test::ReadBytes(File("fresh.dst")), "fresh");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"fresh.dst", "table.dst"}));
}

TEST_F(FilesTest, WritesToAPathWithoutAFolderPart) {
    const fs::path previous = fs::current_path();
    fs::current_path(test::Utf8Path(dir_.Path()));
    const bool written = ReplaceFileContents("plain.dst", "plain");
    fs::current_path(previous);
    ASSERT_TRUE(written);
    EXPECT_EQ(test::ReadBytes(File("plain.dst")), "plain");
    EXPECT_EQ(Entries(), std::vector<std::string>{"plain.dst"});
}

TEST_F(FilesTest, FailedWriteLeavesNothingBehind) {
    // The target is a folder.
    const std::string folder = File("taken.dst");
    fs::create_directory(test::Utf8Path(folder));
    test::WriteBytes(folder + "/inside", "keep");
    EXPECT_FALSE(ReplaceFileContents(folder, "new"));
    EXPECT_EQ(test::ReadBytes(folder + "/inside"), "keep");
    EXPECT_EQ(Entries(), std::vector<std::string>{"taken.dst"});

    // The folder does not exist.
    EXPECT_FALSE(ReplaceFileContents(File("missing/table.dst"), "new"));

    // A read-only file.
    const std::string locked = File("locked.dst");
    test::WriteBytes(locked, "precious");
    fs::permissions(test::Utf8Path(locked),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_TRUE(IsReadOnlyFile(locked));
    EXPECT_FALSE(IsReadOnlyFile(folder + "/inside"));
    EXPECT_FALSE(ReplaceFileContents(locked, "new"));
    EXPECT_EQ(test::ReadBytes(locked), "precious");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"locked.dst", "taken.dst"}));
}

// A folder named in UTF-8 outside ASCII: on Windows the names go to the
// system as UTF-16, or "Zoë" would be a different folder (or none).
TEST_F(FilesTest, NamesOutsideAsciiOpenAndSave) {
    const std::string folder = File("Zo\xC3\xAB");
    fs::create_directories(test::Utf8Path(folder + "/Tabellen"));
    const std::string path = folder + "/Tabellen/Sommerzeit \xE2\x82\xAC.dst";
    ASSERT_TRUE(ReplaceFileContents(path, "first"));
    ASSERT_TRUE(ReplaceFileContents(path, "second"));
    std::string text;
    ASSERT_EQ(ReadFileStart(path, 100, text), ReadOutcome::Read);
    EXPECT_EQ(text, "second");
    EXPECT_EQ(Entries(folder + "/Tabellen"),
              std::vector<std::string>{"Sommerzeit \xE2\x82\xAC.dst"});
    EXPECT_EQ(Entries(), std::vector<std::string>{"Zo\xC3\xAB"});
}

TEST_F(FilesTest, ReadsTheStartOfRegularFilesOnly) {
    test::WriteBytes(File("long"), "0123456789");
    std::string text = "untouched";
    ASSERT_EQ(ReadFileStart(File("long"), 4, text), ReadOutcome::Read);
    EXPECT_EQ(text, "0123");
    ASSERT_EQ(ReadFileStart(File("long"), 100, text), ReadOutcome::Read);
    EXPECT_EQ(text, "0123456789");

    text = "untouched";
    EXPECT_EQ(ReadFileStart(File("none"), 4, text), ReadOutcome::Missing);
    EXPECT_EQ(ReadFileStart(File("none/deeper"), 4, text), ReadOutcome::Missing);
    EXPECT_EQ(ReadFileStart(dir_.Path(), 4, text), ReadOutcome::Unusable);
    EXPECT_EQ(text, "untouched");
}

}  // namespace
}  // namespace velmora
