// The Win32 link on COM1, which the test run maps onto the pseudo-terminal of
// velmora-devsim (see with-devsim.sh): each suite runs against a simulator
// started with the faults its name says. And the registry's port list.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "DeviceFrame.h"
#include "ExchangeLoop.h"
#include "LineSettingsDcb.h"
#include "SerialLink_win.h"
#include "SerialPorts.h"
#include "win/SystemErrorText.h"

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
    void ReportLinkError(const std::string& text, bool, std::uint64_t generation) override {
        std::lock_guard lock(m_mutex);
        m_reports.push_back(text);
        m_reportGenerations.push_back(generation);
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
    std::vector<std::uint64_t> ReportGenerations() {
        std::lock_guard lock(m_mutex);
        return m_reportGenerations;
    }

  private:
    std::mutex m_mutex;
    std::vector<LinkMessage> m_messages;
    std::vector<std::string> m_reports;
    std::vector<std::uint64_t> m_reportGenerations;
};

HANDLE OpenCom1() {
    return CreateFileW(L"\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

DCB CommState(HANDLE port) {
    DCB state{};
    state.DCBlength = sizeof state;
    EXPECT_TRUE(GetCommState(port, &state)) << GetLastError();
    return state;
}

// A port whose driver honours neither the cancel of a wait nor the change of
// the mask: the end of an operation is never seen, a stop request still is.
DWORD NeverEnds(DWORD count, const HANDLE* handles, DWORD milliseconds) {
    if (count < 2) {
        Sleep(milliseconds);
        return WAIT_TIMEOUT;
    }
    return WaitForSingleObject(handles[1], milliseconds) == WAIT_OBJECT_0 ? WAIT_OBJECT_0 + 1
                                                                          : WAIT_TIMEOUT;
}

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

// A port that another program left at another speed with software and
// hardware flow control, null stripping and abort on error: the link takes the
// exchange's line over all of them and puts back what the port held at close.
// Wine keeps the speed and the flow control in the terminal's settings and
// drops the rest (LineSettingsOfAnExchange checks those on a DCB). Wine lets
// this second handle look at the port while the link holds it.
TEST(LinkOnCom1, TakesTheExchangesLineOverWhatThePortHeldAndPutsThatBackAtClose) {
    const HANDLE other = OpenCom1();
    ASSERT_NE(other, INVALID_HANDLE_VALUE) << GetLastError();
    const DCB original = CommState(other);
    DCB preset = original;
    preset.BaudRate = 9600;
    preset.fOutX = preset.fInX = preset.fOutxCtsFlow = TRUE;
    preset.fNull = preset.fAbortOnError = TRUE;
    ASSERT_TRUE(SetCommState(other, &preset)) << GetLastError();
    const DCB found = CommState(other);
    ASSERT_TRUE(found.BaudRate == 9600 && found.fOutX && found.fInX && found.fOutxCtsFlow);

    Recorder owner;
    CSerialLink link;
    ASSERT_TRUE(link.Open(&owner, "COM1", 1, kUploadLine));
    EXPECT_EQ(owner.Reports(), std::vector<std::string>{});
    const DCB taken = CommState(other);
    EXPECT_EQ(taken.BaudRate, 1200u);
    EXPECT_EQ(taken.ByteSize, 8);
    EXPECT_EQ(taken.Parity, NOPARITY);
    EXPECT_EQ(taken.StopBits, ONESTOPBIT);
    EXPECT_FALSE(taken.fOutX || taken.fInX || taken.fOutxCtsFlow || taken.fOutxDsrFlow);
    EXPECT_FALSE(taken.fNull || taken.fAbortOnError);
    EXPECT_EQ(taken.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));

    link.Close();
    const DCB after = CommState(other);
    EXPECT_EQ(after.BaudRate, found.BaudRate);
    EXPECT_TRUE(after.fOutX && after.fInX && after.fOutxCtsFlow);
    SetCommState(other, const_cast<DCB*>(&original));
    CloseHandle(other);
}

// The settings a port held are replaced whatever they were, and each that the
// port keeps otherwise is named in the read-back's report.
TEST(LineSettingsOfAnExchange, AreForcedOverWhatThePortHeldAndCheckedInTheReadBack) {
    DCB found{};
    found.DCBlength = sizeof found;
    found.BaudRate = 9600;
    found.ByteSize = 7;
    found.Parity = EVENPARITY;
    found.StopBits = TWOSTOPBITS;
    found.fParity = found.fOutxCtsFlow = found.fOutxDsrFlow = found.fDsrSensitivity = TRUE;
    found.fOutX = found.fInX = found.fErrorChar = found.fNull = found.fAbortOnError = TRUE;
    found.fDtrControl = DTR_CONTROL_HANDSHAKE;
    found.fRtsControl = RTS_CONTROL_TOGGLE;
    DCB line = found;
    ASSERT_TRUE(BuildLineSettings(L"baud=1200 parity=N data=8 stop=1", line));
    EXPECT_EQ(line.BaudRate, 1200u);
    EXPECT_EQ(line.ByteSize, 8);
    EXPECT_EQ(line.Parity, NOPARITY);
    EXPECT_EQ(line.StopBits, ONESTOPBIT);
    EXPECT_TRUE(line.fBinary);
    EXPECT_FALSE(line.fParity || line.fNull || line.fErrorChar || line.fAbortOnError);
    EXPECT_FALSE(line.fDsrSensitivity || line.fOutX || line.fInX);
    EXPECT_FALSE(line.fOutxCtsFlow || line.fOutxDsrFlow);
    EXPECT_EQ(line.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(line.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));

    EXPECT_EQ(SettingsNotTaken(line, line), "");
    EXPECT_EQ(SettingsNotTaken(line, found),
              "speed, data bits, parity, stop bits, RTS, raw mode, flow control");
    DCB keptNull = line;
    keptNull.fNull = TRUE;
    EXPECT_EQ(SettingsNotTaken(line, keptNull), "raw mode");

    // DTR stays as found when it is no handshake; parity is checked with a parity.
    DCB dtrOff = found;
    dtrOff.fDtrControl = DTR_CONTROL_DISABLE;
    ASSERT_TRUE(BuildLineSettings(L"baud=1200 parity=E data=8 stop=1", dtrOff));
    EXPECT_EQ(dtrOff.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_TRUE(dtrOff.fParity);
}

// Close stops a worker whose port never ends its wait for port events, neither
// when it is cancelled nor when the mask changes, within its bound (twice half
// a second), and tells it once, to the owner at its new generation; the link
// then opens the port again with fresh records and works.
TEST(LinkOnCom1, CloseEndsWithinItsBoundWhenThePortNeverEndsItsWaitAndTellsItOnce) {
    Recorder owner;
    CSerialLink link;
    ASSERT_TRUE(link.Open(&owner, "COM1", 1, kUploadLine));
    ASSERT_TRUE(link.Start());
    std::this_thread::sleep_for(20ms);  // the worker waits on the port by now
    SetOperationWait(NeverEnds);
    const auto before = std::chrono::steady_clock::now();
    link.Close();
    const auto took = std::chrono::steady_clock::now() - before;
    SetOperationWait(nullptr);
    EXPECT_LT(took, 2s);
    EXPECT_FALSE(link.IsWorkerAlive());
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(owner.Reports(),
              std::vector<std::string>{CSerialLink::FormatError(
                  "CancelIoEx()",
                  "The port did not end the wait for port events when it was cancelled; it is "
                  "no longer used, and closed with the link.",
                  1)});
    EXPECT_EQ(owner.ReportGenerations(), std::vector<std::uint64_t>{link.Generation()});

    ASSERT_TRUE(link.Open(&owner, "COM1", 1, kUploadLine));
    ASSERT_TRUE(link.Start());
    link.QueueWrite(DstDeleteFrame(), 12);
    EXPECT_EQ(owner.WaitForMessages(15).size(), 15u);
    link.Close();
    EXPECT_EQ(owner.Reports().size(), 1u);
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

// --- against a simulator that reads at 1200 baud ---

// A write far larger than the line takes in its time-out is still under way
// when the next QueueWrite and Close come: neither waits for it.
TEST(LinkOnSlowCom1, NeitherQueueWriteNorCloseWaitsForAWriteUnderWay) {
    Recorder owner;
    CSerialLink link;
    const ByteString huge(1 << 20, '\x33');
    LineSettings line = kUploadLine;
    line.writeBufferSize = static_cast<int>(huge.size());
    ASSERT_TRUE(link.Open(&owner, "COM1", 1, line));
    ASSERT_TRUE(link.Start());
    link.QueueWrite(huge, line.writeBufferSize);
    std::this_thread::sleep_for(500ms);  // the line has taken at most 60 bytes
    auto before = std::chrono::steady_clock::now();
    link.QueueWrite(huge, line.writeBufferSize);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
    before = std::chrono::steady_clock::now();
    link.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
    EXPECT_TRUE(owner.Reports().empty()) << owner.Reports().front();
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
    // The processor time and the clock at the start and as each period ends.
    std::vector<std::pair<double, std::chrono::steady_clock::time_point>> marks{
        {ProcessorSeconds(), std::chrono::steady_clock::now()}};
    loop.onTimer = [&marks] {
        marks.emplace_back(ProcessorSeconds(), std::chrono::steady_clock::now());
    };
    EXPECT_EQ(loop.Run(true), Outcome::NoReply);
    EXPECT_EQ(loop.Sequence().AcknowledgedCount(), 4);
    ASSERT_EQ(marks.size(), 6u);
    // A worker spinning on the dead line would burn a whole processor in the
    // period of the hang-up, the fifth. Wine's wait for port events on a
    // terminal ends every millisecond or so without an event, hung up or not,
    // and is armed again: the link's share of a processor in that period is
    // compared with its share in the four before it, whatever the machine
    // makes of that polling.
    const auto share = [&marks](std::size_t from, std::size_t to) {
        const std::chrono::duration<double> took = marks[to].second - marks[from].second;
        return (marks[to].first - marks[from].first) / took.count();
    };
    const double before = share(0, 4);
    const double after = share(4, 5);
    EXPECT_LT(after, before + 0.4)
        << "share of a processor before the hang-up " << before << ", in its period " << after;
    for (const std::string& report : loop.Reports()) ADD_FAILURE() << report;
}

}  // namespace
}  // namespace velmora
