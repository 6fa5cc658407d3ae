#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "DateFile.h"
#include "ReplaceFile.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

constexpr DateOrder kDayFirst = 0;
constexpr DateOrder kMonthFirst = 1;

class DateFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "velmora-datefile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    static void WriteRaw(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string ReadRaw(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Every name in the test folder, sorted: a stray temporary file shows here.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    static DateFileBytes Pattern() {
        DateFileBytes bytes{};
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 3 + 1);
        return bytes;
    }

    fs::path dir_;
};

std::vector<DstRow> FifteenRows() {
    std::vector<DstRow> rows;
    rows.reserve(kMaxRows);
    for (int i = 0; i < kMaxRows; ++i) {
        rows.push_back({ComposeDateText(i + 1, 3, 2000 + i, kDayFirst),
                        ComposeDateText(28 - i, 10, 2000 + i, kDayFirst)});
    }
    rows[0] = {"05/03/2007", "29/10/2007"};
    rows[1] = {"25/12/2006", "01/04/2007"};
    return rows;
}

TEST(DateFileBytes, RowsAndBytesConvertBothWays) {
    const std::vector<DstRow> rows = FifteenRows();
    const DateFileBytes bytes = RowsToFileBytes(rows, kDayFirst);
    const DstRecord first{bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]};
    const DstRecord second{bytes[5], bytes[6], bytes[7], bytes[8], bytes[9]};
    EXPECT_EQ(first, (DstRecord{0x05, 0x03, 0x1D, 0x0A, 0x07}));
    EXPECT_EQ(second, (DstRecord{0x19, 0x0C, 0x01, 0x04, 0x07}));
    EXPECT_EQ(bytes[70], 15);  // row 14 begins on the 15th
    EXPECT_EQ(bytes[74], 14);  // of 2014

    std::vector<DstRow> loaded = FileBytesToRows(bytes, kDayFirst);
    ASSERT_EQ(loaded.size(), 15u);
    // A begin date in another year than its end date comes back in the end date's year.
    EXPECT_EQ(loaded[1], (DstRow{"25/12/2007", "01/04/2007"}));
    loaded[1] = rows[1];
    EXPECT_EQ(loaded, rows);
}

TEST(DateFileBytes, SavedInOneOrderLoadsInTheOther) {
    const DateFileBytes bytes = RowsToFileBytes(FifteenRows(), kDayFirst);
    const std::vector<DstRow> monthFirst = FileBytesToRows(bytes, kMonthFirst);
    EXPECT_EQ(monthFirst[0], (DstRow{"03/05/2007", "10/29/2007"}));
    EXPECT_EQ(RowsToFileBytes(monthFirst, kMonthFirst), bytes);
}

TEST(DateFileBytes, ExtraRowsAreNotStoredAndMissingOnesAreZero) {
    std::vector<DstRow> rows = FifteenRows();
    const DateFileBytes fifteen = RowsToFileBytes(rows, kDayFirst);
    rows.push_back({"01/01/2001", "02/02/2002"});
    EXPECT_EQ(RowsToFileBytes(rows, kDayFirst), fifteen);
    const DateFileBytes one = RowsToFileBytes({{"05/03/2007", "29/10/2007"}}, kDayFirst);
    EXPECT_EQ(one[4], 7);
    EXPECT_TRUE(std::all_of(one.begin() + 5, one.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(DstSuffix, AppendedUnlessTheNameEndsInLowerCaseDst) {
    EXPECT_EQ(WithDstSuffix("/home/u/table"), "/home/u/table.dst");
    EXPECT_EQ(WithDstSuffix("/home/u/table.dst"), "/home/u/table.dst");
    EXPECT_EQ(WithDstSuffix("TABLE.DST"), "TABLE.DST.dst");
    EXPECT_EQ(WithDstSuffix("table.Dst"), "table.Dst.dst");
    EXPECT_EQ(WithDstSuffix(".dst"), ".dst");
    EXPECT_EQ(WithDstSuffix("dst"), "dst.dst");
    EXPECT_EQ(WithDstSuffix(""), ".dst");
}

TEST_F(DateFileTest, WrittenFileReadsBack) {
    const fs::path path = dir_ / "table.dst";
    ASSERT_TRUE(WriteDateFile(path, Pattern()));
    EXPECT_EQ(fs::file_size(path), 75u);
    DateFileBytes back{};
    ASSERT_TRUE(ReadDateFile(path, back));
    EXPECT_EQ(back, Pattern());
    EXPECT_EQ(Entries(), std::vector<std::string>{"table.dst"});
}

TEST_F(DateFileTest, OverwritesAnExistingFileAndKeepsItsPermissionsAndOwner) {
    const fs::path path = dir_ / "table.dst";
    WriteRaw(path, std::string(200, 'x'));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    // Only the superuser may give the file away, and then must keep it so.
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
    ASSERT_EQ(::chown(path.c_str(), owner, static_cast<gid_t>(-1)), 0);
    ASSERT_TRUE(WriteDateFile(path, Pattern()));
    const std::string raw = ReadRaw(path);
    ASSERT_EQ(raw.size(), 75u);
    EXPECT_EQ(static_cast<std::uint8_t>(raw[74]), Pattern()[74]);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(info.st_uid, owner);
}

TEST_F(DateFileTest, NewFileGetsTheUsualPermissions) {
    const mode_t previous = ::umask(027);
    const bool written = WriteDateFile(dir_ / "new.dst", Pattern());
    ::umask(previous);
    ASSERT_TRUE(written);
    struct stat info {};
    ASSERT_EQ(::stat((dir_ / "new.dst").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(DateFileTest, WritesThroughASymbolicLink) {
    const fs::path target = dir_ / "real.dst";
    const fs::path link = dir_ / "link.dst";
    WriteRaw(target, "old");
    fs::create_symlink(target, link);
    ASSERT_TRUE(WriteDateFile(link, Pattern()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::file_size(target), 75u);

    // A relative link whose file does not exist yet creates that file.
    fs::create_directory(dir_ / "sub");
    fs::create_symlink("../later.dst", dir_ / "sub" / "dangling.dst");
    ASSERT_TRUE(WriteDateFile(dir_ / "sub" / "dangling.dst", Pattern()));
    EXPECT_TRUE(fs::is_symlink(dir_ / "sub" / "dangling.dst"));
    EXPECT_EQ(fs::file_size(dir_ / "later.dst"), 75u);

    // A loop of links is refused and left as it is.
    fs::create_symlink("loop-b", dir_ / "loop-a");
    fs::create_symlink("loop-a", dir_ / "loop-b");
    EXPECT_FALSE(WriteDateFile(dir_ / "loop-a", Pattern()));
    EXPECT_TRUE(fs::is_symlink(dir_ / "loop-a"));
}

TEST_F(DateFileTest, WritesToAPathWithoutAFolderPart) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    const bool written = WriteDateFile("plain.dst", Pattern());
    fs::current_path(previous);
    ASSERT_TRUE(written);
    DateFileBytes back{};
    ASSERT_TRUE(ReadDateFile(dir_ / "plain.dst", back));
    EXPECT_EQ(back, Pattern());
    EXPECT_EQ(Entries(), std::vector<std::string>{"plain.dst"});
}

TEST_F(DateFileTest, FailedWriteLeavesNothingBehind) {
    // The target is a folder: the rename fails after the temporary file was written.
    const fs::path folder = dir_ / "taken.dst";
    fs::create_directory(folder);
    WriteRaw(folder / "inside", "keep");
    EXPECT_FALSE(WriteDateFile(folder, Pattern()));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(ReadRaw(folder / "inside"), "keep");
    EXPECT_EQ(Entries(), std::vector<std::string>{"taken.dst"});

    // The folder does not exist.
    EXPECT_FALSE(WriteDateFile(dir_ / "missing" / "table.dst", Pattern()));
    EXPECT_EQ(Entries(), std::vector<std::string>{"taken.dst"});

    // A read-only file, reached directly or through a link.
    WriteRaw(dir_ / "locked.dst", "precious");
    ASSERT_EQ(::chmod((dir_ / "locked.dst").c_str(), 0444), 0);
    fs::create_symlink("locked.dst", dir_ / "link.dst");
    for (const char* name : {"locked.dst", "link.dst"}) {
        EXPECT_TRUE(IsReadOnlyFile(dir_ / name)) << name;
        EXPECT_FALSE(WriteDateFile(dir_ / name, Pattern())) << name;
    }
    EXPECT_EQ(ReadRaw(dir_ / "locked.dst"), "precious");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"link.dst", "locked.dst", "taken.dst"}));
}

TEST_F(DateFileTest, ReadsOnlyTheFirst75Bytes) {
    const fs::path path = dir_ / "long.dst";
    std::string raw(reinterpret_cast<const char*>(Pattern().data()), 75);
    WriteRaw(path, raw + "trailing bytes");
    DateFileBytes back{};
    ASSERT_TRUE(ReadDateFile(path, back));
    EXPECT_EQ(back, Pattern());
}

TEST_F(DateFileTest, RefusesShortMissingAndNonRegularFiles) {
    DateFileBytes out = Pattern();
    const fs::path shortFile = dir_ / "short.dst";
    WriteRaw(shortFile, std::string(74, '\x01'));
    EXPECT_FALSE(ReadDateFile(shortFile, out));
    WriteRaw(shortFile, "");
    EXPECT_FALSE(ReadDateFile(shortFile, out));
    EXPECT_FALSE(ReadDateFile(dir_ / "none.dst", out));
    EXPECT_FALSE(ReadDateFile(dir_, out));
    const fs::path fifo = dir_ / "fifo.dst";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReadDateFile(fifo, out));
    EXPECT_EQ(out, Pattern()) << "a refused file must leave the output untouched";
}

TEST_F(DateFileTest, SaveAndOpenRestoreTheTable) {
    const fs::path path = dir_ / WithDstSuffix("year");
    const std::vector<DstRow> rows{15, {"/03/2007", "29/10/2007"}};
    ASSERT_TRUE(WriteDateFile(path, RowsToFileBytes(rows, kDayFirst)));
    DateFileBytes bytes{};
    ASSERT_TRUE(ReadDateFile(path, bytes));
    EXPECT_EQ(FileBytesToRows(bytes, kDayFirst), rows);
    EXPECT_EQ(FileBytesToRows(bytes, kMonthFirst)[14], (DstRow{"03//2007", "10/29/2007"}));
}

}  // namespace
}  // namespace velmora
