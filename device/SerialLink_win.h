// The Windows link's Port and what its two files share: a COM port opened for
// overlapped transfers, manual-reset events, and a worker that waits for the
// shutdown event, the port event (WaitCommEvent) and the write-request event,
// in that order of priority. For SerialLink_win*.cpp, and the hook below for
// the link's tests.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SerialLink.h"

namespace velmora {

constexpr DWORD kPortTimeoutMs = 1000;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// How long a cancelled read or write, a cancelled port-event wait and then
// that wait once its mask is cleared each have to end before the port is given
// up: whatever the port does, a stop ends the worker within three times this
// (a write under way, then the port-event wait).
constexpr DWORD kEndBoundMs = 500;

// How the worker waits for its port-event wait, a read or a write to end:
// `handles` are that operation's event and, for a read or a write, the shutdown
// event, in this order; the result is WaitForMultipleObjects'. The system's wait
// unless a test puts in its place a port whose operations never end (nullptr
// puts the system's back).
using OperationWait = DWORD (*)(DWORD count, const HANDLE* handles, DWORD milliseconds);
void SetOperationWait(OperationWait wait);

// The completion records and what the system reads and fills through them.
// They live as long as the link, or for good once the port is given up: the
// system may still complete into them.
struct PortRecords {
    // The port-event wait's record; its event is the port event.
    OVERLAPPED m_ovPort{};
    // The record of every read and write, with an event of its own, so that a
    // transfer never completes (or resets) the armed port-event wait.
    OVERLAPPED ovTransfer{};
    DWORD portEvents = 0;  // filled in by the port-event wait
    COMMTIMEOUTS m_portTimeouts{};
    DCB m_lineSettings{};
    // What the port held when it was opened, put back when it closes.
    COMMTIMEOUTS foundTimeouts{};
    DCB foundLineSettings{};
    bool restoreTimeouts = false;
    bool restoreLineSettings = false;
    // The bytes of the write in progress and the byte of the read in
    // progress: the system reads and fills them until the transfer has ended,
    // so they live with the records, apart from the buffer QueueWrite fills.
    std::vector<unsigned char> outgoing;
    unsigned char incoming = 0;
};

struct CSerialLink::Port {
    // How a read or a write ended: in time, cut short by a stop, past its bound
    // (then cancelled), or never (its record abandoned with the port).
    enum class TransferEnd { Completed, Stopped, TimedOut, Abandoned };

    // Arms the port-event wait (WaitCommEvent) unless it is armed already.
    void ArmPortWait(CSerialLink& link, std::uint64_t generation);
    // Takes the result of the completed port-event wait and acts on its events.
    void HandlePortEvent(CSerialLink& link, std::uint64_t generation);
    // Ends an armed port-event wait before the worker returns, within a bound.
    void DisarmPortWait(CSerialLink& link, std::uint64_t generation);
    // Waits for the pending read or write on the transfer record for at most
    // `boundMs`. Completed: `transferred` holds its bytes, and `error` the
    // error of its result when it failed. TimedOut: cancelled, `transferred`
    // holds what it moved.
    TransferEnd FinishTransfer(CSerialLink& link, DWORD boundMs, const char* what,
                               std::uint64_t generation, DWORD& transferred, DWORD& error);
    // A wait or a transfer that did not end even when cancelled: the port is no
    // longer used, and its records and their events are never freed, since the
    // system may still complete into them. Told once.
    void AbandonPort(CSerialLink& link, const char* what, std::uint64_t generation);

    HANDLE m_hStopEvent = nullptr;
    HANDLE m_hPort = nullptr;  // none while closed
    HANDLE m_hSendEvent = nullptr;
    // The event of the port-event wait's record, and that of the reads' and
    // writes' own record: the armed wait is kept apart from a read or a write.
    HANDLE portEvent = nullptr;
    HANDLE transferEvent = nullptr;
    // The worker's wait set, in priority order: shutdown, port event, write request.
    std::array<HANDLE, 3> m_hWaitSet{};
    std::unique_ptr<PortRecords> records;

    // The worker's own state, reset at each Start and touched by the worker
    // only: whether the port-event wait is armed.
    bool waitArmed = false;
    // Whether the worker gave the port up (read once the worker has ended, and
    // cleared when the port closes), and the report of a port given up as the
    // worker stopped, which Close or Open makes once that worker's generation is over.
    bool abandoned = false;
    std::string stopReport;
};

}  // namespace velmora
