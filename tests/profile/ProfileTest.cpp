#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Profile.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "velmora-profile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        profile_.SetPath(ProfilePathIn(dir_.string()));
    }
    void TearDown() override { fs::remove_all(dir_); }

    void WriteIni(const std::string& text) const {
        std::ofstream(profile_.Path(), std::ios::binary) << text;
    }
    std::string ReadIni() const {
        std::ifstream in(profile_.Path(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::size_t EntryCount() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
    }

    fs::path dir_;
    Profile profile_;
};

TEST(ProfilePath, IsTheFolderFollowedByTheFileName) {
    EXPECT_EQ(ProfilePathIn("/home/user"), "/home/user/Velmora.ini");
}

TEST_F(ProfileTest, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Timeout", 1000), 1000);
    EXPECT_FALSE(profile_.GetProfileString("Settings", "Timeout"));
    WriteIni("[Other]\nTimeout=5\n[Settings]\nPort=3\n");
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Timeout", 1000), 1000);
    EXPECT_EQ(profile_.GetProfileInt("Missing", "Port", 1), 1);
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Port", 1), 3);
}

TEST_F(ProfileTest, UnusablePathsGiveDefaultsAndRefuseWrites) {
    fs::create_directory(profile_.Path());  // a folder where the file should be
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Port", 1), 1);
    EXPECT_FALSE(profile_.WriteProfileInt("Settings", "Port", 2));
    EXPECT_TRUE(fs::is_directory(profile_.Path()));

    Profile underMissingFolder(ProfilePathIn((dir_ / "missing").string()));
    EXPECT_EQ(underMissingFolder.GetProfileInt("Settings", "Port", 7), 7);
    EXPECT_FALSE(underMissingFolder.WriteProfileInt("Settings", "Port", 2));
    EXPECT_EQ(EntryCount(), 1u) << "no temporary file may remain";

    Profile unnamed;
    EXPECT_EQ(unnamed.GetProfileInt("Settings", "Port", 4), 4);
    EXPECT_FALSE(unnamed.WriteProfileInt("Settings", "Port", 2));
}

TEST_F(ProfileTest, ReadOnlyFileIsLeftByteForByte) {
    WriteIni("[Settings]\nPort=3\n");
    fs::permissions(profile_.Path(), fs::perms::owner_read);
    EXPECT_FALSE(profile_.WriteProfileInt("Settings", "Port", 5));
    EXPECT_EQ(ReadIni(), "[Settings]\nPort=3\n");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(ProfileTest, NamesIgnoreCaseAndSurroundingBlanks) {
    WriteIni("  [ settings ]  \n\tTIMEOUT =  250 \nDate format=1\n");
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Timeout", 1000), 250);
    EXPECT_EQ(profile_.GetProfileInt("SETTINGS", "Date Format", 0), 1);
    EXPECT_EQ(profile_.GetProfileString("Settings", "timeout"), "250");
}

TEST_F(ProfileTest, IntegersAreReadFromTheLeadingDigits) {
    WriteIni(
        "[Settings]\n"
        "a=12abc\nb=abc\nc=\nd=  -42\ne=+7\nf=99999999999999999999\ng=-99999999999999999999\n"
        "h=- 5\ni=2147483647\nj=-2147483648\n");
    const auto get = [&](const char* key) { return profile_.GetProfileInt("Settings", key, 555); };
    EXPECT_EQ(get("a"), 12);
    EXPECT_EQ(get("b"), 0);  // present but not a number: 0, not the default
    EXPECT_EQ(get("c"), 0);
    EXPECT_EQ(get("d"), -42);
    EXPECT_EQ(get("e"), 7);
    EXPECT_EQ(get("f"), INT_MAX);
    EXPECT_EQ(get("g"), INT_MIN);
    EXPECT_EQ(get("h"), 0);
    EXPECT_EQ(get("i"), INT_MAX);
    EXPECT_EQ(get("j"), INT_MIN);
}

TEST_F(ProfileTest, MalformedLinesAreSkipped) {
    WriteIni(
        "orphan=9\n"     // above every section
        "[Settings\n"    // no closing bracket
        "; Timeout=1\n"  // comment
        "# Timeout=2\n"
        "just text\n"
        "=5\n"  // empty key
        "[Settings]\n"
        "\x01\xff garbage\n"
        "Timeout=300\n");
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Timeout", 1000), 300);
    EXPECT_EQ(profile_.GetProfileInt("Settings", "orphan", -1), -1);
    EXPECT_EQ(profile_.GetProfileInt("Settings", "", -1), -1);
}

TEST_F(ProfileTest, FirstKeyInFileOrderWinsAndIsTheOneWritten) {
    WriteIni("[Settings]\nPort=2\n[Other]\n[settings]\nPort=5\nTimeout=70\n");
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Port", 1), 2);
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Timeout", 1), 70);
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Port", 8));
    EXPECT_EQ(ReadIni(), "[Settings]\nPort=8\n[Other]\n[settings]\nPort=5\nTimeout=70\n");
}

TEST_F(ProfileTest, FirstWriteCreatesTheFile) {
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Timeout", 1000));
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Port", 1));
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Date Format", 0));
    EXPECT_EQ(ReadIni(), "[Settings]\nTimeout=1000\nPort=1\nDate Format=0\n");
    EXPECT_EQ(EntryCount(), 1u);
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Port", -3));
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Port", 1), -3);
}

TEST_F(ProfileTest, WritingKeepsEveryOtherLineByteForByte) {
    const std::string before =
        "; written by hand\r\n"
        "[Ports]\r\n"
        "COM1 = /dev/ttyUSB0\r\n"
        "\r\n"
        "[Settings]\r\n"
        "port = 2 ; trailing note\r\n"
        "Unknown=x\r\n"
        "\r\n"
        "[Last]\r\n"
        "k=v";  // no line ending at the very end
    WriteIni(before);

    // An existing key keeps its spelling and its line ending; only the value changes.
    ASSERT_TRUE(profile_.WriteProfileInt("SETTINGS", "Port", 4));
    std::string expected = before;
    expected.replace(expected.find("port = 2 ; trailing note"), 24, "port =4");
    EXPECT_EQ(ReadIni(), expected);

    // A new key goes after the section's last non-blank line, in the file's line ending.
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Timeout", 50));
    expected.insert(expected.find("Unknown=x\r\n") + 11, "Timeout=50\r\n");
    EXPECT_EQ(ReadIni(), expected);

    // A new key in the last section, whose last line had no ending.
    ASSERT_TRUE(profile_.WriteProfileInt("Last", "n", 1));
    expected += "\r\nn=1\r\n";
    EXPECT_EQ(ReadIni(), expected);

    // A new section goes at the end.
    ASSERT_TRUE(profile_.WriteProfileInt("New", "Key", 9));
    expected += "[New]\r\nKey=9\r\n";
    EXPECT_EQ(ReadIni(), expected);
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Port", 1), 4);
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Timeout", 1000), 50);
}

TEST_F(ProfileTest, ALoneCarriageReturnEndingTheFileStaysOutOfItsLine) {
    // A '\r' that ends the file ends its last line; a write completes that
    // ending instead of leaving the '\r' in the line, where it would join the value.
    WriteIni("[Other]\r\nName=800\r");
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Port", 3));
    EXPECT_EQ(ReadIni(), "[Other]\r\nName=800\r\n[Settings]\r\nPort=3\r\n");
    EXPECT_EQ(profile_.GetProfileString("Other", "Name"), "800");

    WriteIni("[Settings]\nTimeout=5\r");
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Port", 3));
    EXPECT_EQ(ReadIni(), "[Settings]\nTimeout=5\r\nPort=3\n");
    EXPECT_EQ(profile_.GetProfileString("Settings", "Timeout"), "5");
}

TEST_F(ProfileTest, OnlyTheFirstMebibyteIsRead) {
    const std::string padding(std::size_t{1} << 20, ';');
    WriteIni("[Settings]\nPort=3\n" + padding + "\nTimeout=5\n");
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Port", 1), 3);
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Timeout", 1000), 1000);
    // Rewriting would drop the unread tail, so the write is refused.
    const std::string before = ReadIni();
    EXPECT_FALSE(profile_.WriteProfileInt("Settings", "Port", 4));
    EXPECT_EQ(ReadIni(), before);
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(ProfileTest, PortsMapToDevicePaths) {
    EXPECT_EQ(ComPortPath(profile_, 1), "/dev/ttyS0");
    WriteIni("[ports]\ncom2=/dev/ttyUSB1\nCOM3=\n");
    EXPECT_EQ(ComPortPath(profile_, 2), "/dev/ttyUSB1");
    EXPECT_EQ(ComPortPath(profile_, 3), "/dev/ttyS2");  // empty value: the default
    EXPECT_EQ(ComPortPath(profile_, 8), "/dev/ttyS7");
    // Out-of-range ports map the same way, to devices that will not open.
    EXPECT_EQ(ComPortPath(profile_, 0), "/dev/ttyS-1");
    EXPECT_EQ(ComPortPath(profile_, INT_MIN), "/dev/ttyS-2147483649");
}

}  // namespace
}  // namespace velmora
