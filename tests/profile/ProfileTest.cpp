#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "PlatformNames.h"
#include "Profile.h"
#include "Settings.h"
#include "TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
  protected:
    void SetUp() override { profile_.SetPath(ProfilePathIn(dir_.string())); }

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

    test::TempDir temp_{"velmora-profile-"};
    fs::path dir_{temp_.Path()};
    Profile profile_;
};

TEST(ProfilePath, IsTheFolderFollowedByTheFileName) {
    EXPECT_EQ(ProfilePathIn("/home/user"), "/home/user/Velmora.ini");
    EXPECT_EQ(ProfilePathIn("/"), "/Velmora.ini");
    // A folder as the system names it, on Windows with backslashes.
    EXPECT_EQ(ProfilePathIn("C:\\Users\\ana"), "C:\\Users\\ana" + test::kSeparator + "Velmora.ini");
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
    EXPECT_EQ(get("b"), 0);    // present but not a number: 0, not the default
    EXPECT_EQ(get("c"), 555);  // empty: the default
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

TEST_F(ProfileTest, OnlyTheFirstSectionOfANameCounts) {
    WriteIni("[Settings]\nPort=2\nport=6\n\n[Other]\n[settings]\nPort=5\nTimeout=70\n");
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Port", 1), 2);
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Timeout", 1000), 1000);
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Port", 8));
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Timeout", 9));
    EXPECT_EQ(ReadIni(),
              "[Settings]\nPort=8\nport=6\nTimeout=9\n\n[Other]\n[settings]\nPort=5\nTimeout=70\n");
    // Removing takes every line of the key from that section, so the default shows.
    ASSERT_TRUE(profile_.DeleteProfileKey("SETTINGS", "PORT"));
    EXPECT_EQ(ReadIni(), "[Settings]\nTimeout=9\n\n[Other]\n[settings]\nPort=5\nTimeout=70\n");
    EXPECT_EQ(profile_.GetProfileInt("Settings", "Port", 1), 1);
}

TEST_F(ProfileTest, OnePairOfMatchingQuotesIsRemoved) {
    WriteIni("[Settings]\na=\"5'\nb=\"\nc=\"\"\nd=\" 7 \"\ne=\"'x'\"\n");
    const auto get = [&](const char* key) { return profile_.GetProfileString("Settings", key); };
    EXPECT_EQ(get("a"), "\"5'");
    EXPECT_EQ(get("b"), "\"");
    EXPECT_EQ(get("c"), "");
    EXPECT_EQ(get("d"), " 7 ");
    EXPECT_EQ(get("e"), "'x'");
    EXPECT_EQ(profile_.GetProfileInt("Settings", "c", 1), 1);
}

TEST_F(ProfileTest, WrittenStringsReadBackAsTheyWere) {
    for (const std::string value :
         {"plain", " padded ", "\"quoted\"", "'it'", "it's", "a ; b", ""}) {
        ASSERT_TRUE(profile_.WriteProfileString("Settings", "Name", value)) << value;
        EXPECT_EQ(profile_.GetProfileString("Settings", "Name"), value);
    }
    const std::string before = ReadIni();
    EXPECT_FALSE(profile_.WriteProfileString("Settings", "Name", "two\nlines"));
    EXPECT_FALSE(profile_.WriteProfileString("Settings", "Name", std::string("nul\0", 4)));
    for (const char* key : {"", " Name", "a=b", "[Name"})
        EXPECT_FALSE(profile_.WriteProfileString("Settings", key, "x")) << key;
    EXPECT_EQ(ReadIni(), before);

    // Removing a key that is not there leaves the file alone, or absent.
    ASSERT_TRUE(profile_.DeleteProfileKey("Settings", "Missing"));
    EXPECT_EQ(ReadIni(), before);
    fs::remove(profile_.Path());
    ASSERT_TRUE(profile_.DeleteProfileKey("Settings", "Name"));
    EXPECT_FALSE(fs::exists(profile_.Path()));
}

TEST_F(ProfileTest, FirstWriteCreatesTheFile) {
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Timeout", 1000));
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Port", 1));
    ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Date Format", 0));
    // The system's own line end, as its editors expect.
    const std::string& n = test::kNewLine;
    EXPECT_EQ(ReadIni(),
              "[Settings]" + n + "Timeout=1000" + n + "Port=1" + n + "Date Format=0" + n);
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

TEST_F(ProfileTest, WritesKeepTheByteOrderMarkAndTheLineEnds) {
    struct Case {
        std::string before;
        std::string after;  // once Settings/Port is 5
    };
    const std::string& n = test::kNewLine;  // a file without lines takes the system's
    const Case cases[] = {
        {"\xEF\xBB\xBF", "\xEF\xBB\xBF[Settings]" + n + "Port=5" + n},
        {"[Settings]\rTimeout=7", "[Settings]\rTimeout=7\rPort=5\r"},
        // A lone '\r' ending the file ends its last line; it does not become "\r\n".
        {"[Other]\r\nName=800\r", "[Other]\r\nName=800\r[Settings]\r\nPort=5\r\n"},
        // A lone '\r' before a blank "\n" line would swallow it: it becomes "\r\n".
        {"[Settings]\rTimeout=7\n\n[Other]\r", "[Settings]\rTimeout=7\nPort=5\r\n\n[Other]\r"},
    };
    for (const Case& c : cases) {
        WriteIni(c.before);
        ASSERT_TRUE(profile_.WriteProfileInt("Settings", "Port", 5)) << c.before;
        EXPECT_EQ(ReadIni(), c.after);
        EXPECT_EQ(profile_.GetProfileInt("Settings", "Port", 1), 5) << c.after;
    }
    WriteIni("[Settings]\rPort=2\n\n");
    ASSERT_TRUE(profile_.DeleteProfileKey("Settings", "Port"));
    EXPECT_EQ(ReadIni(), "[Settings]\r\n\n");
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
    EXPECT_EQ(ComPortPath(profile_, 1), test::kDefaultCom1);
    EXPECT_EQ(DefaultComPortPath(8), test::kDefaultCom8);
    WriteIni(
        "[ports]\n"
        "com1=/dev/ttyUSB0 ; the device behind COM1\n"
        "com2=/dev/ttyUSB1\n"
        "COM3=\n"
        "COM4=\"/dev/serial/by-id/usb-My Adapter\"\t; quoted\n"
        "COM5=/dev/odd;name\n"
        "COM6='/dev/a ;b'\n"
        "COM7= ; nothing but a comment\n");
    EXPECT_EQ(ComPortPath(profile_, 1), "/dev/ttyUSB0");
    EXPECT_EQ(ComPortPath(profile_, 2), "/dev/ttyUSB1");
    EXPECT_EQ(ComPortPath(profile_, 3), DefaultComPortPath(3));  // empty value: the default
    EXPECT_EQ(ComPortPath(profile_, 4), "/dev/serial/by-id/usb-My Adapter");
    EXPECT_EQ(ComPortPath(profile_, 5), "/dev/odd;name");
    EXPECT_EQ(ComPortPath(profile_, 6), "/dev/a ;b");
    EXPECT_EQ(ComPortPath(profile_, 7), DefaultComPortPath(7));
    EXPECT_EQ(ComPortPath(profile_, 8), test::kDefaultCom8);
    EXPECT_EQ(ComPortPath(profile_, INT_MIN), test::kDefaultComIntMin);
}

TEST_F(ProfileTest, SetPortPathWritesWhatReadsBackAndRemovesTheDefault) {
    const std::string before = "\xEF\xBB\xBF[Settings]\r\nPort=2\r\n";
    WriteIni(before);
    // Windows' port names too: another port, or one in the device namespace.
    for (const std::string path :
         {"/dev/ttyUSB0", "/dev/a ;b", " /dev/x ", "'", "COM12", "\\\\.\\COM12", "\"/dev/q\" ;c"}) {
        ASSERT_TRUE(SetComPortPath(profile_, 2, path)) << path;
        EXPECT_EQ(ComPortPath(profile_, 2), path);
    }
    EXPECT_FALSE(SetComPortPath(profile_, 2, "/dev/tty\nUSB0"));
    EXPECT_EQ(ReadIni(), before + "[Ports]\r\nCOM2='\"/dev/q\" ;c'\r\n");
    ASSERT_TRUE(SetComPortPath(profile_, 2, DefaultComPortPath(2)));
    EXPECT_EQ(ReadIni(), before + "[Ports]\r\n");
    ASSERT_TRUE(SetComPortPath(profile_, 3, "/dev/ttyACM0"));
    ASSERT_TRUE(SetComPortPath(profile_, 3, ""));
    EXPECT_EQ(ComPortPath(profile_, 3), DefaultComPortPath(3));
}

// What the window uses after Settings' OK: an emptied Device field is the
// port's default device, any other path stays.
TEST(ComPortPathsTest, AnEmptyPathStandsForThePortsDefault) {
    ComPortPaths chosen;
    chosen[0] = "/dev/ttyUSB0";
    const ComPortPaths used = WithDefaultComPortPaths(chosen);
    EXPECT_EQ(used[0], "/dev/ttyUSB0");
    EXPECT_EQ(used[7], test::kDefaultCom8);
}

// The fuzz target reads and rewrites profiles in memory; what it finds holds
// for files only if both give the same text and the same values.
TEST_F(ProfileTest, AProfileInMemoryReadsAndWritesAsTheFileDoes) {
    const std::string text =
        "\xEF\xBB\xBF[settings]\r\nport = '4' ; x\r\n\r\n[Ports]\r\nCOM2=/dev/a\r";
    WriteIni(text);
    Profile memory = Profile::InMemory(text);
    const auto same = [&] {
        ASSERT_NE(memory.Text(), nullptr);
        EXPECT_EQ(*memory.Text(), ReadIni());
        for (const char* key : {"Port", "Timeout", "Early"})
            EXPECT_EQ(memory.GetProfileString("Settings", key),
                      profile_.GetProfileString("Settings", key));
        EXPECT_EQ(ComPortPath(memory, 2), ComPortPath(profile_, 2));
    };
    same();
    for (Profile* p : {&memory, &profile_}) {
        EXPECT_TRUE(p->WriteProfileInt("Settings", "Timeout", 250));
        EXPECT_TRUE(p->WriteProfileString("Settings", "Early", " 1 "));
        EXPECT_TRUE(SetComPortPath(*p, 2, "/dev/serial/by-id/usb-My Adapter ;-port0"));
        EXPECT_TRUE(p->DeleteProfileKey("Settings", "Port"));
    }
    same();
    EXPECT_EQ(Profile().Text(), nullptr);

    // Past the first mebibyte a write is refused in memory too.
    const std::string longText = "[Settings]\n" + std::string(std::size_t{1} << 20, ';');
    Profile tooLong = Profile::InMemory(longText);
    EXPECT_FALSE(tooLong.WriteProfileInt("Settings", "Port", 4));
    EXPECT_EQ(*tooLong.Text(), longText);
}

}  // namespace
}  // namespace velmora
