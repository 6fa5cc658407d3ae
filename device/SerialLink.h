// The serial port object: opens and configures one port, runs one worker thread
// that writes queued bytes and reads received bytes, and hands each received byte
// (and every other line event asked for) to its owner as a posted message.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DeviceFrame.h"

namespace velmora {

constexpr unsigned WM_USER = 1024;
constexpr unsigned WM_LINK_BREAK = WM_USER + 1;   // 1025
constexpr unsigned WM_LINK_CTS = WM_USER + 2;     // 1026
constexpr unsigned WM_LINK_ERR = WM_USER + 4;     // 1028
constexpr unsigned WM_LINK_RING = WM_USER + 5;    // 1029
constexpr unsigned WM_LINK_RXCHAR = WM_USER + 7;  // 1031
constexpr unsigned WM_LINK_RXFLAG = WM_USER + 8;  // 1032

// Line events a link can be asked to watch (event mask bits).
constexpr std::uint32_t EV_RXCHAR = 0x0001;
constexpr std::uint32_t EV_RXFLAG = 0x0002;
constexpr std::uint32_t EV_CTS = 0x0008;
constexpr std::uint32_t EV_BREAK = 0x0040;
constexpr std::uint32_t EV_ERR = 0x0080;
constexpr std::uint32_t EV_RING = 0x0100;

// One notification from a link's worker to its owner.
struct LinkMessage {
    unsigned message = 0;        // WM_LINK_*
    std::uintptr_t wParam = 0;   // the received byte (0..255) for WM_LINK_RXCHAR, else 0
    std::intptr_t lParam = 0;    // the port number
    std::uint64_t generation = 0;  // the link's generation when the worker was started
};

// The receiver of a link's notifications.
class ILinkOwner {
public:
    virtual ~ILinkOwner() = default;
    // Called on the worker thread. Must queue the message and return at once;
    // it never waits for the owner's thread.
    virtual void PostLinkMessage(const LinkMessage& message) = 0;
    // A failed platform call, with the composed warning text. From `Open` this
    // runs on the owner's thread (fromWorker false) and the owner shows the box
    // before returning; from the worker (fromWorker true) the owner queues the
    // text and returns at once.
    virtual void ReportLinkError(const std::string& text, bool fromWorker) = 0;
};

class CSerialLink {
public:
    CSerialLink();
    virtual ~CSerialLink();
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;

    // Stops a running worker, renews the events and the write buffer, opens
    // `devicePath` exclusively and configures it. False only when the device
    // cannot be opened (absent, not a terminal, or held by another program).
    bool Open(ILinkOwner* owner, const std::string& devicePath, int portNumber, int baud,
              char parity, int dataBits, int stopBits, std::uint32_t eventMask,
              int writeBufferSize);
    // Starts the worker. Called only after an Open that returned true.
    bool Start();
    // Hands the first `count` bytes of `data` to the worker and returns at once.
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

private:
    void WorkerMain();
    void ReadAvailable();
    void WritePending(int nCount);
    void ReportError(const std::string& operation, int errorCode, bool fromWorker);
    void StopWorker();

    // Implementation fields are declared by the link's source; see SerialLink.cpp.
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::atomic<bool> m_bWorkerAlive{false};
    std::atomic<std::uint64_t> m_nGeneration{0};
};

}  // namespace velmora
