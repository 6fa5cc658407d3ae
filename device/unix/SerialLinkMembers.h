// The members of a serial link on Linux, inside class CSerialLink. Win32-style
// names, POSIX things:
//   m_hPort        the port's file descriptor, -1 while closed
//   m_hStopEvent,  eventfds standing for manual-reset events: signalled while
//   m_hSendEvent   readable, reset by reading them
//   m_hWaitSet     the descriptors the worker polls: stop, port, write request
//   m_lineSettings the port's termios, in place of a DCB
// The operations named in error reports are the Win32 calls these POSIX steps
// stand for: "GetCommState()" tcgetattr, "BuildCommDCB()" the line settings
// checked and applied to a termios, "SetCommState()" tcsetattr and the
// settings read back, "SetCommMask()" the modem-line query, "WaitCommEvent()"
// poll, "ReadFile()" read, "WriteFile()" and "GetOverlappedResults() in
// WriteFile()" a write that fails at once or part-way.

// The port's write time-out in milliseconds: a constant, and as much again
// per byte. Reads only ever take bytes that are already waiting, so they
// have no time-out.
struct PortTimeouts {
    int writeTotalMultiplier = 0;
    int writeTotalConstant = 0;
};

// OpenError() of an Open whose port the owner closed while it showed a report.
static constexpr int kOpenCancelled = ECANCELED;

void SampleModemLines(std::uint64_t generation);
void LosePort();

int m_hStopEvent = -1;  // eventfd; readable while signalled
int m_hPort = -1;
int m_hSendEvent = -1;  // eventfd; readable while signalled
// The worker's wait set, in priority order: shutdown, port, write request.
std::array<int, 3> m_hWaitSet{-1, -1, -1};
PortTimeouts m_portTimeouts;
termios m_lineSettings{};
// The port's settings as Open found them, restored by ClosePort when set.
termios m_savedLineSettings{};
bool m_bRestoreLineSettings = false;

// Set by Open: whether the device has modem lines (a pseudo-terminal has none).
bool m_bHasModemLines = false;
// The worker's own state, reset at each Start and touched by the worker only:
// the last sampled modem lines, whether the port was lost (hung up or
// unplugged) and whether that loss has been reported.
int m_nModemLines = 0;
bool m_bPortLost = false;
bool m_bLossReported = false;
