// The record of uploads on both systems: its lines as JSON, reading back what
// is torn or foreign, the older file that bounds it, two programs appending at
// once, and a folder where nothing can be written.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "Files.h"
#include "RecordFile.h"
#include "TempDir.h"
#include "UploadRecord.h"

namespace velmora {
namespace {

UploadRecord SampleRecord(int index = 0) {
    UploadRecord record;
    record.timeMs = 1796859601123 + index;  // 2026-12-09T23:40:01.123Z
    record.program = "velmora-cli";
    record.version = "1.3.0";
    record.command = "send";
    record.comPort = 3;
    record.devicePath = "/dev/serial/by-id/usb-Maker_Adapter_A10K3Z-if00-port0";
    record.adapter.vendorId = "0403";
    record.adapter.serial = "A10K3Z";
    record.sourceFile = "site.dst";
    record.bytesHex = std::string(150, 'a');
    record.outcome = "Done!";
    record.framesAnswered = index;
    record.durationMs = 5312;
    return record;
}

class RecordTest : public ::testing::Test {
  protected:
    std::string Path() const { return m_dir.File("state/uploads.jsonl"); }
    test::TempDir m_dir{"velmora-record-"};
};

TEST(RecordLineTest, TextComesBackAsWrittenOnOneLine) {
    UploadRecord record = SampleRecord();
    record.outcome = "say \"no\" \\ back\x01\b\f\n\r\t end";
    record.sourceFile = "Zo\xC3\xAB \xE2\x9C\x93 \xF0\x9F\x98\x80.dst";  // Zoë ✓ 😀
    record.adapter = {};
    record.adapter.friendlyName = "USB Serial Port (COM3)";
    record.adapter.hardwareId = "FTDIBUS\\COMPORT&VID_0403&PID_6001";
    record.comPort.reset();

    const std::string line = EncodeRecordLine(record);
    ASSERT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_NE(line.find(R"("outcome":"say \"no\" \\ back\u0001\b\f\n\r\t end")"),
              std::string::npos);
    EXPECT_NE(line.find("Zo\xC3\xAB \xE2\x9C\x93 \xF0\x9F\x98\x80.dst"), std::string::npos);
    EXPECT_EQ(line.find("\"port\""), std::string::npos);
    EXPECT_EQ(ParseRecordLine(line), record);

    // Bytes that are no UTF-8 become U+FFFD, so that the line stays JSON.
    record.outcome = "bad \xFF\xC3 end \xED\xA0\x80";
    const std::optional<UploadRecord> replaced = ParseRecordLine(EncodeRecordLine(record));
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->outcome,
              "bad \xEF\xBF\xBD\xEF\xBF\xBD end \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(RecordLineTest, ReadsWhatOthersMayWriteAndRefusesTheRest) {
    // Escapes another writer may use, keys of a later version, white space.
    const std::optional<UploadRecord> other = ParseRecordLine(
        R"( { "future" : {"a":[1,2.5e3,{"b":null}],"c":true}, "time":"2026-12-09T23:40:01.123Z",)"
        R"( "command":"delete", "outcome":"\u00e9\ud83d\ude00\/", "exitCode":-2, "port":null } )");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->timeMs, 1796859601123);
    EXPECT_EQ(other->outcome, "\xC3\xA9\xF0\x9F\x98\x80/");
    EXPECT_EQ(other->exitCode, -2);
    EXPECT_FALSE(other->comPort);

    const std::string good = EncodeRecordLine(SampleRecord());
    for (
        const std::string& bad :
        {good.substr(0, good.size() / 2), good.substr(0, good.size() - 2), good + "x",
         std::string(
             R"({"time":"2026-02-30T00:00:00.000Z","command":"send","outcome":"","exitCode":0})"),
         std::string(R"({"time":"2026-12-09T23:40:01.123Z","command":"send","outcome":"Done!"})"),
         std::string(
             R"({"time":"2026-12-09T23:40:01.123Z","command":"send","outcome":"Done!","exitCode":1.5})"),
         std::string("{\"time\":\"2026-12-09T23:40:01.123Z\",\"command\":\"se\nd\"}"),
         std::string(R"(["not","a","record"])"), std::string("hello")}) {
        EXPECT_FALSE(ParseRecordLine(bad)) << bad;
    }
}

TEST_F(RecordTest, TornAndForeignLinesAreSkippedAndCounted) {
    const std::string first = EncodeRecordLine(SampleRecord(1));
    std::filesystem::create_directories(test::Utf8Path(m_dir.File("state")));
    // A line cut short by a full disk, with no line feed after it.
    test::WriteBytes(Path(), first + "not json\n\n{\"a\":1}\n" + first.substr(0, 40));
    std::string reason;
    ASSERT_TRUE(AppendUploadRecord(Path(), SampleRecord(2), &reason)) << reason;

    RecordReading reading;
    ASSERT_TRUE(ReadUploadRecords(Path(), reading, &reason)) << reason;
    ASSERT_EQ(reading.records.size(), 2u);
    EXPECT_EQ(reading.records[0], SampleRecord(1));
    EXPECT_EQ(reading.records[1], SampleRecord(2));
    EXPECT_EQ(reading.skipped, 3u);
}

TEST_F(RecordTest, TheFileStaysUnderItsLimitAndKeepsTheNewestLines) {
    const std::uint64_t lineSize = EncodeRecordLine(SampleRecord(10)).size();
    const std::uint64_t limit = lineSize * 5 + lineSize / 2;  // five lines fit, six do not
    std::string reason;
    for (int i = 10; i < 33; ++i)
        ASSERT_TRUE(AppendUploadRecord(Path(), SampleRecord(i), &reason, limit)) << reason;

    const std::string current = test::ReadBytes(Path());
    const std::string older = test::ReadBytes(OlderRecordPath(Path()));
    EXPECT_EQ(OlderRecordPath(Path()), m_dir.File("state/uploads.1.jsonl"));
    EXPECT_LE(current.size(), limit);
    EXPECT_EQ(older.size(), 5 * lineSize);
    RecordReading reading;
    ASSERT_TRUE(ReadUploadRecords(Path(), reading, &reason)) << reason;
    EXPECT_EQ(reading.skipped, 0u);
    // 23 lines: four full files went by, the last two hold 5 + 3.
    ASSERT_EQ(reading.records.size(), 8u);
    for (std::size_t i = 0; i < reading.records.size(); ++i)
        EXPECT_EQ(reading.records[i].framesAnswered, 25 + static_cast<int>(i));
}

TEST_F(RecordTest, TwoProgramsAppendingAtOnceNeverMixOrLoseALine) {
    // The file moves to the older name every dozen lines or so while both
    // write: each move must come when the file is full, never twice for one.
    const std::uint64_t lineSize = EncodeRecordLine(SampleRecord()).size();
    const std::uint64_t limit = lineSize * 12;
    const std::string limitText = std::to_string(limit);
    {
        test::ChildProcess a({test::kAppendChild, Path(), "first", "200", limitText});
        test::ChildProcess b({test::kAppendChild, Path(), "second", "200", limitText});
        EXPECT_EQ(a.Wait(), 0);
        EXPECT_EQ(b.Wait(), 0);
    }
    RecordReading reading;
    std::string reason;
    ASSERT_TRUE(ReadUploadRecords(Path(), reading, &reason)) << reason;
    EXPECT_EQ(reading.skipped, 0u);
    const std::uint64_t older = test::ReadBytes(OlderRecordPath(Path())).size();
    EXPECT_LE(older, limit);
    EXPECT_GT(older + lineSize, limit);
    EXPECT_LE(test::ReadBytes(Path()).size(), limit);
    // What is kept of each program is its last lines, in the order written.
    std::map<std::string, std::vector<int>> kept;
    for (const UploadRecord& record : reading.records)
        kept[record.program].push_back(record.framesAnswered);
    EXPECT_EQ(kept.size(), kept.count("first") + kept.count("second"));
    std::size_t count = 0;
    for (const auto& [program, numbers] : kept) {
        count += numbers.size();
        for (std::size_t i = 0; i < numbers.size(); ++i)
            EXPECT_EQ(numbers[i], 200 - static_cast<int>(numbers.size() - i)) << program;
    }
    EXPECT_GE(count, 12u);
}

TEST_F(RecordTest, AnAppendWaitsWhileAnotherProgramHoldsTheLock) {
    std::filesystem::create_directories(test::Utf8Path(m_dir.File("state")));
    std::optional<test::HeldRecordLock> lock(std::in_place, Path());
    ASSERT_TRUE(lock->Held());
    test::ChildProcess child({test::kAppendChild, Path(), "waiting", "1", "1000000"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(test::ReadBytes(Path()), "");
    lock.reset();
    EXPECT_EQ(child.Wait(), 0);
    RecordReading reading;
    ASSERT_TRUE(ReadUploadRecords(Path(), reading));
    ASSERT_EQ(reading.records.size(), 1u);
    EXPECT_EQ(reading.records[0].program, "waiting");
}

TEST_F(RecordTest, AFolderThatCannotBeMadeGivesTheReason) {
    // A file where the record's folder should be: no folder can be made there.
    test::WriteBytes(m_dir.File("state"), "a file");
    std::string reason;
    EXPECT_FALSE(AppendUploadRecord(Path(), SampleRecord(), &reason));
    EXPECT_FALSE(reason.empty());
    // The record file's name taken by a folder.
    std::filesystem::create_directories(test::Utf8Path(m_dir.File("other/uploads.jsonl")));
    reason.clear();
    EXPECT_FALSE(AppendUploadRecord(m_dir.File("other/uploads.jsonl"), SampleRecord(), &reason));
    EXPECT_FALSE(reason.empty());
}

// The child's part: COUNT records with `program` TAG, numbered from 0.
int AppendAsChild(char** argv) {
    const std::string path = argv[2];
    const std::string tag = argv[3];
    const long count = std::strtol(argv[4], nullptr, 10);
    const std::uint64_t limit = std::strtoull(argv[5], nullptr, 10);
    for (int i = 0; i < count; ++i) {
        UploadRecord record = SampleRecord(i);
        record.program = tag;
        std::string reason;
        if (!AppendUploadRecord(path, record, &reason, limit)) return 1;
    }
    return 0;
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    if (argc == 6 && std::string(argv[1]) == velmora::test::kAppendChild)
        return velmora::AppendAsChild(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
