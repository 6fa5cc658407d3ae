// The serial link on Linux: a terminal opened non-blocking and exclusively,
// eventfds for the events, and poll for the worker's wait.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iterator>
#include <system_error>
#include <utility>

#include "SerialLink.h"

namespace velmora {

namespace {

constexpr int kPortTimeoutMs = 1000;
// How often the modem lines are sampled while CTS or ring changes are watched;
// a terminal has no wait for them, and a change is reported within this time.
constexpr int kModemLineSampleMs = 50;
// Pause before the worker waits again after its wait itself failed.
constexpr int kWaitRetryMs = 100;

// Events are eventfds: readable while signalled, until they are reset.
void SignalEvent(int event) {
    const std::uint64_t one = 1;
    // Only an overflowing counter could refuse this, and a signalled event stays signalled.
    [[maybe_unused]] const ssize_t written = write(event, &one, sizeof one);
}

void ResetEvent(int event) {
    std::uint64_t value = 0;
    // EAGAIN means it was not signalled: nothing to reset.
    [[maybe_unused]] const ssize_t got = read(event, &value, sizeof value);
}

bool IsSignalled(int event) {
    pollfd probe{event, POLLIN, 0};
    return poll(&probe, 1, 0) > 0 && (probe.revents & POLLIN) != 0;
}

void CloseDescriptor(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

// The errors with which a terminal tells that its device is gone.
bool IsLossError(int errorCode) {
    return errorCode == EIO || errorCode == ENXIO || errorCode == ENODEV;
}

// strerror_r comes in two flavours; take the text from whichever this C library has.
[[maybe_unused]] const char* ErrorText(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* ErrorText(const char* text, const char*) {
    return text;
}

std::string ErrnoText(int errorCode) {
    char buffer[256] = {};
    const char* text = ErrorText(strerror_r(errorCode, buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0') {
        return "Unknown error " + std::to_string(errorCode);
    }
    return text;
}

speed_t SpeedOf(int baud) {
    static constexpr std::pair<int, speed_t> kSpeeds[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& [rate, speed] : kSpeeds) {
        if (rate == baud) return speed;
    }
    return B0;
}

// Applies `line` on top of the line settings read from the port: raw bytes, the
// receiver on, modem control lines ignored, neither software nor hardware flow
// control. Returns 0 or EINVAL; on EINVAL the settings are left as they were.
int ApplyLineSettings(const LineSettings& line, termios& settings) {
    const speed_t speed = SpeedOf(line.baud);
    static constexpr std::pair<char, tcflag_t> kParities[] = {{'N', 0},
                                                              {'E', PARENB},
                                                              {'O', PARENB | PARODD},
                                                              {'M', PARENB | CMSPAR | PARODD},
                                                              {'S', PARENB | CMSPAR}};
    const auto* const parityEntry =
        std::find_if(std::begin(kParities), std::end(kParities), [&](const auto& entry) {
            return entry.first == std::toupper(static_cast<unsigned char>(line.parity));
        });
    if (parityEntry == std::end(kParities)) return EINVAL;
    const tcflag_t parityFlags = parityEntry->second;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    if (speed == B0 || line.dataBits < 5 || line.dataBits > 8 ||
        (line.stopBits != 1 && line.stopBits != 2)) {
        return EINVAL;
    }

    termios updated = settings;
    updated.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    if (parityFlags != 0) updated.c_iflag |= INPCK;
    updated.c_oflag &= ~OPOST;
    updated.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    updated.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    updated.c_cflag |= CLOCAL | CREAD | kSizes[line.dataBits - 5] | parityFlags;
    if (line.stopBits == 2) updated.c_cflag |= CSTOPB;
    updated.c_cc[VMIN] = 1;
    updated.c_cc[VTIME] = 0;
    if (cfsetispeed(&updated, speed) != 0 || cfsetospeed(&updated, speed) != 0) {
        return EINVAL;
    }
    settings = updated;
    return 0;
}

// The settings of `wanted` that `applied` (read back from the port) lacks, named
// for the user and separated by commas; empty when the port took them all.
std::string SettingsNotTaken(const termios& wanted, const termios& applied) {
    constexpr tcflag_t kRawInput =
        IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY;
    constexpr tcflag_t kRawLocal = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
    const auto parity = [](const termios& t) {
        // Odd and mark or space mean nothing without parity.
        return (t.c_cflag & PARENB) != 0 ? t.c_cflag & (PARENB | PARODD | CMSPAR) : tcflag_t{0};
    };
    return CSerialLink::NamesOfDiffering({
        {"speed", cfgetispeed(&wanted) != cfgetispeed(&applied) ||
                      cfgetospeed(&wanted) != cfgetospeed(&applied)},
        {"data bits", (wanted.c_cflag & CSIZE) != (applied.c_cflag & CSIZE)},
        {"parity", parity(wanted) != parity(applied) ||
                       (wanted.c_iflag & INPCK) != (applied.c_iflag & INPCK)},
        {"stop bits", (wanted.c_cflag & CSTOPB) != (applied.c_cflag & CSTOPB)},
        {"raw mode",
         (wanted.c_iflag & kRawInput) != (applied.c_iflag & kRawInput) ||
             (wanted.c_oflag & OPOST) != (applied.c_oflag & OPOST) ||
             (wanted.c_lflag & kRawLocal) != (applied.c_lflag & kRawLocal) ||
             (wanted.c_cflag & (CLOCAL | CREAD)) != (applied.c_cflag & (CLOCAL | CREAD)) ||
             wanted.c_cc[VMIN] != applied.c_cc[VMIN] || wanted.c_cc[VTIME] != applied.c_cc[VTIME]},
        {"flow control", (wanted.c_cflag & CRTSCTS) != (applied.c_cflag & CRTSCTS)},
    });
}

}  // namespace

std::string CSerialLink::SystemText(int errorCode) {
    return ErrnoText(errorCode);
}

// Opens the device into m_hPort; 0, or the system error that refused it.
int CSerialLink::OpenPort(const std::string& devicePath) {
    const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    // Only a terminal is a port, and only one program may hold it: the lock keeps
    // out every other link, the exclusive mode every other opener that is not root.
    int error = 0;
    if (!isatty(fd)) {
        error = ENOTTY;
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? EBUSY : errno;
    } else if (ioctl(fd, TIOCEXCL) != 0) {
        error = errno;
    }
    if (error != 0) {
        close(fd);
        return error;
    }
    m_hPort = fd;
    m_hWaitSet[1] = m_hPort;
    return 0;
}

// Sets the line up step by step; the first step that fails ends it and its
// warning text is returned (empty when every step succeeded). The port stays
// open either way.
std::string CSerialLink::Configure(const LineSettings& line) {
    m_portTimeouts = {kPortTimeoutMs, kPortTimeoutMs};

    int lines = 0;
    m_bHasModemLines = ioctl(m_hPort, TIOCMGET, &lines) == 0;
    if (!m_bHasModemLines && errno != ENOTTY && errno != EINVAL) {
        return Warning("SetCommMask()", errno);
    }

    if (tcgetattr(m_hPort, &m_lineSettings) != 0) return Warning("GetCommState()", errno);
    // What the port had before, put back at close for whoever uses it next.
    m_savedLineSettings = m_lineSettings;
    m_bRestoreLineSettings = true;

    if (const int error = ApplyLineSettings(line, m_lineSettings); error != 0) {
        return Warning("BuildCommDCB()", error);
    }

    // tcsetattr succeeds when any one of the changes took effect: only the
    // settings read back tell whether the port took them all.
    if (tcsetattr(m_hPort, TCSANOW, &m_lineSettings) != 0) return Warning("SetCommState()", errno);
    termios applied{};
    if (tcgetattr(m_hPort, &applied) != 0) return Warning("SetCommState()", errno);
    if (const std::string kept = SettingsNotTaken(m_lineSettings, applied); !kept.empty()) {
        return FormatError("SetCommState()", "The port did not take these settings: " + kept,
                           m_nPortNumber);
    }

    const int rts = TIOCM_RTS;
    if (m_bHasModemLines && ioctl(m_hPort, TIOCMBIS, &rts) != 0) {
        return Warning("SetCommState()", errno);
    }
    return {};
}

bool CSerialLink::IsOpen() const {
    return m_hPort >= 0;
}

void CSerialLink::PurgePort() {
    tcflush(m_hPort, TCIOFLUSH);
}

void CSerialLink::ResetWorkerState() {
    m_nModemLines = 0;
    m_bPortLost = false;
    m_bLossReported = false;
}

void CSerialLink::SignalStop() {
    if (m_hStopEvent >= 0) SignalEvent(m_hStopEvent);
}

void CSerialLink::SignalWriteRequest() {
    if (m_hSendEvent >= 0) SignalEvent(m_hSendEvent);
}

void CSerialLink::WorkerMain(std::uint64_t generation) {
    tcflush(m_hPort, TCIOFLUSH);
    const bool watchLines = m_bHasModemLines && (m_dwEventMask & (EV_CTS | EV_RING)) != 0;
    if (watchLines && ioctl(m_hPort, TIOCMGET, &m_nModemLines) != 0) m_nModemLines = 0;
    const short portEvents = (m_dwEventMask & EV_RXCHAR) != 0 ? POLLIN : 0;
    bool waitReported = false;

    for (;;) {
        // A lost port is no longer watched (a negative descriptor is skipped), so
        // its hang-up cannot wake the worker again and again.
        pollfd waitSet[3] = {{m_hWaitSet[0], POLLIN, 0},
                             {m_bPortLost ? -1 : m_hWaitSet[1], portEvents, 0},
                             {m_hWaitSet[2], POLLIN, 0}};
        const int timeout = watchLines && !m_bPortLost ? kModemLineSampleMs : -1;
        if (poll(waitSet, 3, timeout) < 0) {
            if (errno == EINTR) continue;
            if (!waitReported) ReportError("WaitCommEvent()", errno, generation);
            waitReported = true;
            poll(nullptr, 0, kWaitRetryMs);
            continue;
        }

        if (waitSet[0].revents != 0) {
            m_bWorkerAlive.store(false);  // the last access to the link
            return;
        }
        if (watchLines && !m_bPortLost) SampleModemLines(generation);
        const short port = waitSet[1].revents;
        // Bytes that came before a hang-up are delivered before the loss is handled.
        if ((port & POLLIN) != 0) ReadAvailable(generation);
        if ((port & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            LosePort();
        } else if (port == 0 && waitSet[2].revents != 0) {
            WritePending(generation);
        }
    }
}

// Line changes are delivered in a fixed order: CTS first, ring last.
void CSerialLink::SampleModemLines(std::uint64_t generation) {
    int lines = 0;
    if (ioctl(m_hPort, TIOCMGET, &lines) != 0) {
        if (IsLossError(errno)) LosePort();
        return;
    }
    const int changed = lines ^ m_nModemLines;
    m_nModemLines = lines;
    if ((m_dwEventMask & EV_CTS) != 0 && (changed & TIOCM_CTS) != 0) {
        Post(WM_LINK_CTS, 0, generation);
    }
    if ((m_dwEventMask & EV_RING) != 0 && (changed & lines & TIOCM_RNG) != 0) {
        Post(WM_LINK_RING, 0, generation);
    }
}

void CSerialLink::ReadAvailable(std::uint64_t generation) {
    for (;;) {
        // Bytes that come after a stop was asked for may be dropped; a flood of
        // them must not hold the worker away from its shutdown.
        if (IsSignalled(m_hStopEvent)) return;

        int waiting = 0;
        int queryError = 0;
        unsigned char byte = 0;
        ssize_t got = -1;
        int readError = 0;
        {
            std::lock_guard lock(m_csPort);
            if (ioctl(m_hPort, FIONREAD, &waiting) != 0) {
                queryError = errno;
            } else if (waiting > 0) {
                got = read(m_hPort, &byte, 1);
                if (got < 0) readError = errno;
            }
        }

        if (queryError != 0) {
            if (IsLossError(queryError)) LosePort();
            return;
        }
        if (waiting <= 0) return;
        if (got == 1) {
            Post(WM_LINK_RXCHAR, byte, generation);
            continue;
        }
        if (got == 0) {  // end of file on a terminal: the line has hung up
            LosePort();
            return;
        }
        // Interrupted or nothing there after all: the next wake-up tries again.
        if (readError == EAGAIN || readError == EWOULDBLOCK || readError == EINTR) return;
        ReportFailure("ReadFile()", readError, generation);
        return;
    }
}

void CSerialLink::WritePending(std::uint64_t generation) {
    ResetEvent(m_hSendEvent);
    // A lost port whose loss was already reported drops its write requests quietly.
    if (m_bPortLost && m_bLossReported) return;

    const char* failedStep = nullptr;
    int errorCode = 0;
    int nCount = 0;
    int written = 0;
    bool timedOut = false;
    {
        std::lock_guard lock(m_csPort);
        nCount = m_nPendingBytes;
        // Stale input is discarded here and never delivered: whatever arrives from
        // now on answers this write.
        tcflush(m_hPort, TCIOFLUSH);

        const auto deadline =
            std::chrono::steady_clock::now() +
            std::chrono::milliseconds(m_portTimeouts.writeTotalConstant +
                                      std::int64_t{m_portTimeouts.writeTotalMultiplier} * nCount);
        while (written < nCount) {
            const ssize_t sent = write(m_hPort, m_pSendBuffer.get() + written,
                                       static_cast<std::size_t>(nCount - written));
            if (sent > 0) {
                written += static_cast<int>(sent);
                continue;
            }
            if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                errorCode = errno;
                failedStep = written == 0 ? "WriteFile()" : "GetOverlappedResults() in WriteFile()";
                break;
            }
            // The output queue is full: wait for room until the write time-out. A
            // stop request cuts the write off quietly: the exchange is over.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                timedOut = true;
                break;
            }
            pollfd room[2] = {{m_hPort, POLLOUT, 0}, {m_hStopEvent, POLLIN, 0}};
            if (poll(room, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) {
                errorCode = errno;
                failedStep = "GetOverlappedResults() in WriteFile()";
                break;
            }
            if (room[1].revents != 0) break;
            if ((room[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                errorCode = EIO;
                failedStep = "GetOverlappedResults() in WriteFile()";
                break;
            }
        }
    }

    // A write cut short by its time-out is told as such, not left to look like
    // a device that does not answer.
    if (timedOut) {
        Report(FormatError("WriteFile()",
                           "The write timed out: " + std::to_string(written) + " of " +
                               std::to_string(nCount) + " bytes were sent.",
                           m_nPortNumber),
               generation);
        return;
    }
    if (failedStep == nullptr) return;
    ReportFailure(failedStep, errorCode, generation);
}

void CSerialLink::LosePort() {
    m_bPortLost = true;
}

// Every wait of the worker here also watches the stop request: it never has
// to give a port up as it stops.
void CSerialLink::ReportStopFailure() {}

int CSerialLink::RenewEvents() {
    ReleaseEvents();
    m_hStopEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_hSendEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_hStopEvent < 0 || m_hSendEvent < 0) {
        const int error = errno;
        ReleaseEvents();
        return error;
    }
    m_hWaitSet[0] = m_hStopEvent;
    m_hWaitSet[2] = m_hSendEvent;
    return 0;
}

void CSerialLink::ReleaseEvents() {
    CloseDescriptor(m_hStopEvent);
    CloseDescriptor(m_hSendEvent);
    m_hWaitSet[0] = -1;
    m_hWaitSet[2] = -1;
}

// The port is left as it was found: the line settings in force when it was
// opened come back (a port that is gone takes none, and nothing is reported).
// Closing the descriptor also releases the lock taken by Open.
void CSerialLink::ClosePort() {
    if (m_hPort < 0) return;
    if (m_bRestoreLineSettings) tcsetattr(m_hPort, TCSANOW, &m_savedLineSettings);
    m_bRestoreLineSettings = false;
    ioctl(m_hPort, TIOCNXCL);
    CloseDescriptor(m_hPort);
    m_hWaitSet[1] = -1;
}

void CSerialLink::ReportFailure(const std::string& operation, int errorCode,
                                std::uint64_t generation) {
    ReportError(operation, errorCode, generation);
    if (IsLossError(errorCode)) {
        LosePort();
        m_bLossReported = true;
    }
}

}  // namespace velmora
