// The Win32 link on COM1, which the test run maps onto the pseudo-terminal of
// velmora-devsim (see with-devsim.sh): each suite runs against a simulator
// started with the faults its name says. And the registry's port list.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "DeviceFrame.h"
#include "ExchangeLoop.h"
#include "SerialLink.h"
#include "SerialPorts.h"
#include "SystemErrorText.h"
// <windows.h> after the link's header: it defines the same names as macros.
#include <windows.h>

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::ExchangeLoop;

constexpr int kTimeoutMs = 300;

std::vector<DstRecord> FifteenRecords() {
    std::vector<DstRecord> records;
    for (int row = 0; row < 15; ++row) {
        records.push_back(
            {static_cast<std::uint8_t>(row + 1), 3, 28, 10, static_cast<std::uint8_t>(27 + row)});
    }
    return records;
}

double ProcessorSeconds() {
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& time) {
        const unsigned long long ticks =
            (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
        return static_cast<double>(ticks) / 1e7;  // 100 ns ticks
    };
    return seconds(kernel) + seconds(user);
}

// Messages and reports as the worker hands them over.
class Recorder : public ILinkOwner {
  public:
    void PostLinkMessage(const LinkMessage& message) override {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(message);
    }
    void ReportLinkError(const std::string& text, bool, std::uint64_t) override {
        std::lock_guard lock(m_mutex);
        m_reports.push_back(text);
    }
    std::vector<LinkMessage> WaitForMessages(std::size_t count) {
        const auto end = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < end) {
            {
                std::lock_guard lock(m_mutex);
                if (m_messages.size() >= count) return m_messages;
            }
            std::this_thread::sleep_for(5ms);
        }
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::vector<std::string> Reports() {
        std::lock_guard lock(m_mutex);
        return m_reports;
    }

  private:
    std::mutex m_mutex;
    std::vector<LinkMessage> m_messages;
    std::vector<std::string> m_reports;
};

// --- against a simulator that answers every frame well ---

TEST(UploadOnCom1, GoodAnswersAreDone) {
    ExchangeLoop loop(kTimeoutMs);
    loop.records = FifteenRecords();
    EXPECT_EQ(loop.Run(true), Outcome::Done) << loop.Details();
    EXPECT_EQ(loop.Sequence().AcknowledgedCount(), 15);
    EXPECT_TRUE(loop.Reports().empty()) << loop.Reports().front();
    ExchangeLoop deletion(kTimeoutMs);
    EXPECT_EQ(deletion.Run(false), Outcome::Done) << deletion.Details();
}

TEST(LinkOnCom1, DeliversEachByteInOrderWithThePortNumber) {
    Recorder owner;
    CSerialLink link;
    ASSERT_TRUE(link.Open(&owner, "COM1", 1, kUploadLine)) << link.OpenError();
    ASSERT_TRUE(link.Start());
    const ByteString frame = DstDeleteFrame();
    // The caller's bytes may go as soon as QueueWrite returns.
    link.QueueWrite(ByteString(frame), 12);
    const std::vector<LinkMessage> messages = owner.WaitForMessages(15);
    ASSERT_EQ(messages.size(), 15u);
    ByteString bytes;
    for (const LinkMessage& message : messages) {
        EXPECT_EQ(message.message, WM_LINK_RXCHAR);
        EXPECT_EQ(message.lParam, 1);
        EXPECT_EQ(message.generation, link.Generation());
        bytes.push_back(static_cast<char>(message.wParam));
    }
    EXPECT_EQ(bytes, frame + ByteString("OK\0", 3));
    EXPECT_EQ(static_cast<unsigned char>(bytes[5]), 0xFE);
    const std::uint64_t running = link.Generation();
    link.Close();
    EXPECT_NE(link.Generation(), running);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_TRUE(owner.Reports().empty());
}

TEST(LinkOnCom1, StopsWithItsPortWaitArmedAndStartsAgain) {
    Recorder owner;
    CSerialLink link;
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(link.Open(&owner, "COM1", 1, kUploadLine));
        ASSERT_TRUE(link.Start());
        EXPECT_FALSE(link.Start()) << "a link has one worker";
        std::this_thread::sleep_for(20ms);  // the worker waits on the port by now
        const auto before = std::chrono::steady_clock::now();
        link.Close();
        EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
        EXPECT_FALSE(link.IsWorkerAlive());
    }
    EXPECT_TRUE(owner.Reports().empty());
}

// Windows opens a COM port for one program at a time and refuses the next
// opener with ERROR_ACCESS_DENIED. Wine lets a second Windows program in and
// refuses only while a Linux program holds the device exclusively, which root
// (as the tests may run) passes; so only the reasons for the codes of a busy
// port are checked here.
TEST(LinkOnCom1, AMissingOrBusyPortIsRefusedWithItsReason) {
    Recorder owner;
    CSerialLink missing;
    EXPECT_FALSE(missing.Open(&owner, "COM9", 9, kUploadLine));
    EXPECT_EQ(missing.OpenError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(DescribeOpenFailure("COM9", missing.OpenError()), "not present");
    for (const int busy : {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION}) {
        EXPECT_EQ(DescribeOpenFailure("COM1", busy), "in use by another program") << busy;
    }
    EXPECT_EQ(DescribePresence("COM9"), "not present");
    EXPECT_EQ(DescribePresence("\\\\.\\COM1"), "present");

    CSerialLink present;
    EXPECT_TRUE(present.Open(&owner, "\\\\.\\COM1", 1, kUploadLine))
        << "a name in the device namespace";
    EXPECT_TRUE(owner.Reports().empty());
}

// Settings a pseudo-terminal cannot have: Wine's SetCommState takes a speed
// outside the standard ones and reads back another, and refuses seven data
// bits. Each is the one report of the open, and the port stays open, as on Linux.
TEST(LinkOnCom1, SettingsThePortRefusesOrDoesNotTakeAreReportedAndThePortStaysOpen) {
    const auto line = [](int baud, int dataBits, char parity) {
        LineSettings settings = kUploadLine;
        settings.baud = baud;
        settings.dataBits = dataBits;
        settings.parity = parity;
        return settings;
    };
    const std::pair<LineSettings, std::string> cases[] = {
        {line(123457, 8, 'N'), "The port did not take these settings: speed"},
        {line(1200, 7, 'N'), SystemErrorText(ERROR_INVALID_PARAMETER)},
        {line(1200, 8, 'E'), "The port did not take these settings: parity"}};
    for (const auto& [settings, reason] : cases) {
        Recorder owner;
        CSerialLink link;
        ASSERT_TRUE(link.Open(&owner, "COM1", 3, settings)) << reason;
        EXPECT_TRUE(link.IsOpen());
        EXPECT_EQ(owner.Reports(),
                  std::vector<std::string>{CSerialLink::FormatError("SetCommState()", reason, 3)});
    }
}

// The registry's list, with two ports of its own added for the test (Wine
// lets any program write there; Windows asks for an administrator).
TEST(PortsOfTheRegistry, AreListedInNumericOrderWithTheirNames) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::pair<const wchar_t*, const wchar_t*> added[] = {
        {L"\\Device\\VelmoraTest10", L"COM10"}, {L"\\Device\\VelmoraTest2", L"COM2"}};
    for (const auto& [name, port] : added) {
        ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(port),
                                 static_cast<DWORD>((wcslen(port) + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    const std::vector<SerialDevice> devices = ListSerialDevices();
    for (const auto& [name, port] : added) RegDeleteValueW(key, name);
    RegCloseKey(key);

    std::vector<std::string> paths;
    for (const SerialDevice& device : devices) paths.push_back(device.path);
    const auto at = [&](const std::string& path) {
        return std::find(paths.begin(), paths.end(), path) - paths.begin();
    };
    ASSERT_LT(at("COM2"), static_cast<long>(paths.size()));
    ASSERT_LT(at("COM10"), static_cast<long>(paths.size()));
    EXPECT_LT(at("COM2"), at("COM10"));
    EXPECT_EQ(devices[static_cast<std::size_t>(at("COM10"))].description,
              "\\Device\\VelmoraTest10");
}

// --- against a simulator that stays silent ---

TEST(UploadOnSilentCom1, IsNoReply) {
    ExchangeLoop loop(kTimeoutMs);
    loop.records = FifteenRecords();
    EXPECT_EQ(loop.Run(true), Outcome::NoReply);
    EXPECT_EQ(loop.Sequence().AcknowledgedCount(), 0);
    EXPECT_TRUE(loop.Reports().empty()) << loop.Reports().front();
}

// --- against a simulator whose third answer is 16 bytes ---

TEST(UploadOnCom1With16ByteAnswer, IsNoReplyAtThatFrame) {
    ExchangeLoop loop(kTimeoutMs);
    loop.records = FifteenRecords();
    EXPECT_EQ(loop.Run(true), Outcome::NoReply);
    EXPECT_EQ(loop.Sequence().AcknowledgedCount(), 2);
    EXPECT_TRUE(loop.Reports().empty()) << loop.Reports().front();
}

// --- against a simulator that hangs up in the middle of its fifth answer ---

TEST(UploadOnCom1HangingUp, IsNoReplyWithoutSpinning) {
    ExchangeLoop loop(kTimeoutMs);
    loop.records = FifteenRecords();
    const double before = ProcessorSeconds();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(loop.Run(true), Outcome::NoReply);
    const double used = ProcessorSeconds() - before;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(loop.Sequence().AcknowledgedCount(), 4);
    // A worker spinning on the dead line would burn a whole processor for the
    // last period. Wine's wait for port events on a terminal ends every
    // millisecond or so without an event, hung up or not, and is armed again:
    // about a third of one processor here, before the hang-up as after it.
    EXPECT_LT(used, 0.7 * took.count()) << "seconds of processor in " << took.count() << " s";
    for (const std::string& report : loop.Reports()) ADD_FAILURE() << report;
}

}  // namespace
}  // namespace velmora
