// The serial port object: opens and configures one port, runs one worker thread
// that writes queued bytes and reads received bytes, and hands each received byte
// (and every other line event asked for) to its owner as a posted message.
//
// What both systems share is in SerialLink.cpp; the port, its events and the
// worker's wait are in the files ending in _unix (a terminal, eventfds and
// poll) and _win (a COM port with overlapped transfers, events and
// WaitCommEvent). Each defines the link's Port, which holds the system's
// handles and records; this header holds no type of either system.
//
// The members keep the names of the link's Windows model, whose prefixes name
// the types there: m_csPort is the link's one lock (a std::mutex), m_pWorker
// the worker (a std::thread), m_bWorkerAlive a std::atomic<bool>, m_pOwnerWnd
// the ILinkOwner that receives the messages (no window is needed), and
// m_pSendBuffer a std::unique_ptr to the write buffer. The port's own members
// of that model (m_hPort, m_hStopEvent, m_hSendEvent, m_hWaitSet, m_ovPort,
// m_portTimeouts, m_lineSettings) are the Port's, with the same names. Members
// that the model lacks have no type prefix. WM_LINK_* are the numbers of the
// messages posted as LinkMessage, not window messages.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "DeviceFrame.h"

namespace velmora {

// The numbers of the link's messages: the first number free for a program's
// own messages on Windows (1024) plus their offsets there.
constexpr unsigned kLinkMessageBase = 1024;
constexpr unsigned WM_LINK_BREAK = kLinkMessageBase + 1;   // 1025
constexpr unsigned WM_LINK_CTS = kLinkMessageBase + 2;     // 1026
constexpr unsigned WM_LINK_ERR = kLinkMessageBase + 4;     // 1028
constexpr unsigned WM_LINK_RING = kLinkMessageBase + 5;    // 1029
constexpr unsigned WM_LINK_RXCHAR = kLinkMessageBase + 7;  // 1031
constexpr unsigned WM_LINK_RXFLAG = kLinkMessageBase + 8;  // 1032

// Line events a link can be asked to watch (event mask bits), of the same
// values as the system's comm events on Windows (EV_RXCHAR, EV_RXFLAG, EV_CTS,
// EV_BREAK, EV_ERR, EV_RING), under names of their own.
// On Windows the system's port-event wait reports every one of them, and each
// raises its message. On Linux this link delivers RxChar, and Cts and Ring on
// devices that have modem lines (sampled, see WorkerMain); a terminal gives no
// portable way to watch for the event character, a break or a line-status
// error, so there RxFlag, Break and Err are accepted and never raise a message.
namespace LinkEvent {
inline constexpr std::uint32_t RxChar = 0x0001;
inline constexpr std::uint32_t RxFlag = 0x0002;
inline constexpr std::uint32_t Cts = 0x0008;
inline constexpr std::uint32_t Break = 0x0040;
inline constexpr std::uint32_t Err = 0x0080;
inline constexpr std::uint32_t Ring = 0x0100;
}  // namespace LinkEvent

// The steps of the link that can fail, named in the warning text by the
// Windows calls they are or stand for (see StepName).
enum class LinkStep {
    GetCommState,
    BuildCommDCB,
    SetCommState,
    SetCommMask,
    SetCommTimeouts,
    WaitCommEvent,
    WaitCommEventResult,
    WaitForMultipleObjects,
    ReadFile,
    ReadFileResult,
    WriteFile,
    WriteFileResult,
    CancelIoEx,
};
// The name of a step as the warning text shows it ("SetCommState()").
const char* StepName(LinkStep step);

// The line a link opens: speed and framing, the line events that wake the
// worker, and the size of the write buffer.
struct LineSettings {
    int baud = 1200;
    char parity = 'N';  // N (none), E, O, M (mark) or S (space)
    int dataBits = 8;   // 5 to 8
    int stopBits = 1;   // 1 or 2
    std::uint32_t eventMask = LinkEvent::RxChar | LinkEvent::Cts;
    int writeBufferSize = 512;
};

// The line of every exchange with the device: 1200 baud, no parity, 8 data
// bits, 1 stop bit; the worker wakes for received bytes and CTS changes; one
// frame fits the buffer many times over.
inline constexpr LineSettings kUploadLine{1200, 'N', 8, 1, LinkEvent::RxChar | LinkEvent::Cts, 512};

// One notification from a link's worker to its owner.
struct LinkMessage {
    unsigned message = 0;          // WM_LINK_*
    std::uintptr_t wParam = 0;     // the received byte (0..255) for WM_LINK_RXCHAR, else 0
    std::intptr_t lParam = 0;      // the port number
    std::uint64_t generation = 0;  // the link's generation when the worker was started
};

// The receiver of a link's notifications.
class ILinkOwner {
  public:
    virtual ~ILinkOwner() = default;
    // Called on the worker thread. Must queue the message and return at once;
    // it never waits for the owner's thread. When the owner handles the message
    // later on its own thread it must drop it unless message.generation equals
    // the link's Generation() at that moment: a message stamped otherwise comes
    // from a worker that an Open, Close or destructor has already stopped.
    virtual void PostLinkMessage(const LinkMessage& message) = 0;
    // A failed platform call, with the composed warning text. From `Open` this
    // runs on the owner's thread (fromWorker false), with the link's lock free,
    // and the owner shows the box before returning; from the worker (fromWorker
    // true) the owner queues the text and returns at once, and drops it when it
    // handles it later unless `generation` still equals the link's Generation(),
    // as for a message.
    virtual void ReportLinkError(const std::string& text, bool fromWorker,
                                 std::uint64_t generation) = 0;
};

class CSerialLink {
  public:
    CSerialLink();
    ~CSerialLink();
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;

    // Stops a running worker, renews the events and the write buffer, opens
    // `devicePath` exclusively and configures it with `line`. False only when
    // the device cannot be opened (absent, not a terminal, or held by another
    // program); OpenError() then tells why. A configuration step that fails is
    // reported to the owner once the port is set up as far as it goes; should
    // the owner close the link while it shows that report, Open returns false
    // and OpenError() is the system's "cancelled" (ECANCELED, ERROR_CANCELLED).
    // On Windows `devicePath` is a port name: "COM12" is opened as \\.\COM12,
    // and a name that already starts with \\.\ as it is.
    bool Open(ILinkOwner* owner, const std::string& devicePath, int portNumber,
              const LineSettings& line);
    // The system error of the last Open that returned false, 0 after one that
    // succeeded. On Linux an errno: that of open(2) itself, ENOTTY for a file
    // that is not a terminal, EBUSY for a device that another program holds. On
    // Windows the error code of CreateFileW (ERROR_ACCESS_DENIED for a port
    // that another program holds).
    int OpenError() const { return m_nOpenError; }
    // Starts the worker. Called only after an Open that returned true; false
    // when no port is open, a worker already runs or the thread cannot be created.
    bool Start();
    // The system error of a Start that could not create its thread; 0 after
    // Open and after a Start that created one.
    int StartError() const { return m_nStartError; }
    // Hands the first `count` bytes of `data` to the worker and returns at once.
    // The count is clamped to 0..min(data.size(), write buffer size): the link
    // never reads past the caller's bytes nor writes past its own buffer. A
    // request the worker has not taken yet is replaced, not added to.
    void QueueWrite(const ByteString& data, int count);
    // Stops the worker and closes the port. Any state; always ends closed.
    void Close();

    // Changes at every Open and Close once their wait for the worker is over.
    // A message whose generation differs comes from a stopped worker: drop it.
    std::uint64_t Generation() const { return m_nGeneration.load(); }
    bool IsOpen() const;
    bool IsWorkerAlive() const { return m_bWorkerAlive.load(); }

    // The warning text of a failed call (exposed for tests).
    static std::string FormatError(const std::string& operation, const std::string& systemText,
                                   int portNumber);
    // The names of the line settings a port did not take, separated by commas:
    // each check is a setting's name and whether the port's value differs.
    static std::string NamesOfDiffering(std::initializer_list<std::pair<const char*, bool>> checks);

  private:
    // The system's port: its handles, events, records and line settings, and
    // the worker's state that only one system has. Defined per system.
    struct Port;

    // Run on the worker thread.
    void WorkerMain(std::uint64_t generation);
    void ReadAvailable(std::uint64_t generation);
    void WritePending(std::uint64_t generation);
    void Post(unsigned message, std::uintptr_t wParam, std::uint64_t generation);
    // The warning text of a failed step on this port.
    std::string Warning(LinkStep step, int errorCode) const;
    std::string Warning(LinkStep step, const std::string& systemText) const;
    // From the worker: the owner queues the report, stamped with the worker's generation.
    void ReportError(LinkStep step, int errorCode, std::uint64_t generation);
    void Report(const std::string& text, std::uint64_t generation);
    // ReportError, and when the error says the device is gone, the port counts
    // as lost with its loss reported.
    void ReportFailure(LinkStep step, int errorCode, std::uint64_t generation);
    // A write that its time-out cut short, told as such, not left to look like
    // a device that does not answer.
    void ReportWriteTimeout(long long written, int count, std::uint64_t generation);
    // The port is no longer waited on: its errors would wake the worker again
    // and again. Write requests still come, and the first one after an
    // unreported loss tells the owner.
    void LosePort();

    // Per system: the system's text for an error code, and whether the error
    // says that the port's device is gone (unplugged, hung up).
    static std::string SystemText(int errorCode);
    static bool IsLostPortError(int errorCode);
    // OpenError() of an Open whose port the owner closed while it showed a
    // report: the system's "cancelled".
    static const int kOpenCancelled;

    // Per system, called with the lock held by Open: fresh events (0 or the
    // system error), the device opened into the port (0 or the system error),
    // the line set up (empty, or the warning text of the step that failed).
    int RenewEvents();
    int OpenPort(const std::string& devicePath);
    std::string Configure(const LineSettings& line);
    void PurgePort();
    void ClosePort();
    void ReleaseEvents();
    void SignalStop();
    void SignalWriteRequest();
    // Per system: clears the system's part of the worker's own state before a
    // worker starts.
    void ResetPortWorkerState();
    void StopWorker();
    // Per system, once a stopped worker's generation is over: the one report
    // of a port that the worker had to give up as it stopped (on Windows, a
    // wait that the port did not end even when cancelled), stamped with the
    // new generation so that the owner shows it; nothing on Linux.
    void ReportStopFailure();

    int m_nPendingBytes = 0;
    std::thread m_pWorker;
    std::mutex m_csPort;
    std::atomic<bool> m_bWorkerAlive{false};
    ILinkOwner* m_pOwnerWnd = nullptr;
    int m_nPortNumber = 0;
    std::unique_ptr<unsigned char[]> m_pSendBuffer;
    std::uint32_t m_dwEventMask = 0;
    int m_nSendBufferSize = 0;
    int m_nOpenError = 0;
    int m_nStartError = 0;
    std::atomic<std::uint64_t> m_nGeneration{0};

    // The worker's own state, reset at each Start and touched by the worker
    // only: whether the port was lost (unplugged or hung up) and whether that
    // loss has been reported.
    bool m_bPortLost = false;
    bool m_bLossReported = false;

    // Made by the constructor (in the file of each system) and kept as long as the link.
    struct PortDeleter {
        void operator()(Port* port) const;
    };
    std::unique_ptr<Port, PortDeleter> m_pPort;
};

}  // namespace velmora
