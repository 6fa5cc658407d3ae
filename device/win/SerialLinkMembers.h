// The members of a serial link on Windows, inside class CSerialLink: a COM port
// opened for overlapped transfers, manual-reset events and the worker's
// WaitForMultipleObjects over the shutdown event, the port event and the
// write-request event, in that order of priority.

// OpenError() of an Open whose port the owner closed while it showed a report.
static constexpr int kOpenCancelled = 1223;  // ERROR_CANCELLED

// The completion records and the line settings (OVERLAPPED, COMMTIMEOUTS,
// DCB), defined with <windows.h> in SerialLink_win.cpp.
struct PortState;
struct PortStateDeleter {
    void operator()(PortState* state) const;
};

public:
// How the worker waits for its port-event wait, a read or a write to end:
// `handles` are that operation's event and, for a read or a write, the shutdown
// event, in this order; the result is WaitForMultipleObjects'. The system's wait
// unless a test puts in its place a port whose operations never end (nullptr
// puts the system's back).
using OperationWait = unsigned long (*)(unsigned long count, void* const* handles,
                                        unsigned long milliseconds);
static void SetOperationWait(OperationWait wait);

private:
// Arms the port-event wait (WaitCommEvent) unless it is armed already.
void ArmPortWait(std::uint64_t generation);
// Takes the result of the completed port-event wait and acts on its events.
void HandlePortEvent(std::uint64_t generation);
// Ends an armed port-event wait before the worker returns, within a bound.
void DisarmPortWait(std::uint64_t generation);
// How a read or a write ended: in time, cut short by a stop, past its bound
// (then cancelled), or never (its record abandoned with the port).
enum class TransferEnd { Completed, Stopped, TimedOut, Abandoned };
TransferEnd AwaitTransfer(void* record, unsigned long boundMs, const char* what,
                          std::uint64_t generation);
// A wait or a transfer that did not end even when cancelled: the port is no
// longer used, and its records and their events are never freed, since the
// system may still complete into them. Told once.
void AbandonPort(const char* what, std::uint64_t generation);
void LosePort();

void* m_hStopEvent = nullptr;
void* m_hPort = nullptr;  // none while closed
void* m_hSendEvent = nullptr;
// The event of the port-event wait's record, and that of the reads' and
// writes' own record: the armed wait is kept apart from a read or a write.
void* m_hPortEvent = nullptr;
void* m_hTransferEvent = nullptr;
// The worker's wait set, in priority order: shutdown, port event, write request.
std::array<void*, 3> m_hWaitSet{};
std::unique_ptr<PortState, PortStateDeleter> m_pState;

// The worker's own state, reset at each Start and touched by the worker only:
// whether the port-event wait is armed, whether the port was lost (unplugged or
// hung up) and whether that loss has been reported.
bool m_bWaitArmed = false;
bool m_bPortLost = false;
bool m_bLossReported = false;
// Whether the worker gave the port up (read once the worker has ended, and
// cleared when the port closes), and the report of a port given up as the
// worker stopped, which Close or Open makes once that worker's generation is over.
bool m_bPortAbandoned = false;
std::string m_sStopReport;
