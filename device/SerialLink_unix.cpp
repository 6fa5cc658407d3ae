// The serial link on Linux: a terminal opened non-blocking and exclusively,
// its line set up and put back, and the eventfds of its events. The worker is
// in SerialLink_unix_worker.cpp.
#include "SerialLink_unix.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <utility>

namespace velmora {

namespace {

void CloseDescriptor(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
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

CSerialLink::CSerialLink() : m_pPort(new Port) {}

void CSerialLink::PortDeleter::operator()(Port* port) const {
    delete port;
}

const int CSerialLink::kOpenCancelled = ECANCELED;

std::string CSerialLink::SystemText(int errorCode) {
    return ErrnoText(errorCode);
}

// The errors with which a terminal tells that its device is gone.
bool CSerialLink::IsLostPortError(int errorCode) {
    return errorCode == EIO || errorCode == ENXIO || errorCode == ENODEV;
}

// Opens the device into the port; 0, or the system error that refused it.
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
    m_pPort->m_hPort = fd;
    m_pPort->m_hWaitSet[1] = fd;
    return 0;
}

// Sets the line up step by step; the first step that fails ends it and its
// warning text is returned (empty when every step succeeded). The port stays
// open either way.
std::string CSerialLink::Configure(const LineSettings& line) {
    Port& port = *m_pPort;
    port.m_portTimeouts = {kPortTimeoutMs, kPortTimeoutMs};

    int lines = 0;
    port.hasModemLines = ioctl(port.m_hPort, TIOCMGET, &lines) == 0;
    if (!port.hasModemLines && errno != ENOTTY && errno != EINVAL) {
        return Warning(LinkStep::SetCommMask, errno);
    }

    if (tcgetattr(port.m_hPort, &port.m_lineSettings) != 0) {
        return Warning(LinkStep::GetCommState, errno);
    }
    // What the port had before, put back at close for whoever uses it next.
    port.savedLineSettings = port.m_lineSettings;
    port.restoreLineSettings = true;

    if (const int error = ApplyLineSettings(line, port.m_lineSettings); error != 0) {
        return Warning(LinkStep::BuildCommDCB, error);
    }

    // tcsetattr succeeds when any one of the changes took effect: only the
    // settings read back tell whether the port took them all.
    if (tcsetattr(port.m_hPort, TCSANOW, &port.m_lineSettings) != 0) {
        return Warning(LinkStep::SetCommState, errno);
    }
    termios applied{};
    if (tcgetattr(port.m_hPort, &applied) != 0) return Warning(LinkStep::SetCommState, errno);
    if (const std::string kept = SettingsNotTaken(port.m_lineSettings, applied); !kept.empty()) {
        return Warning(LinkStep::SetCommState, "The port did not take these settings: " + kept);
    }

    const int rts = TIOCM_RTS;
    if (port.hasModemLines && ioctl(port.m_hPort, TIOCMBIS, &rts) != 0) {
        return Warning(LinkStep::SetCommState, errno);
    }
    return {};
}

bool CSerialLink::IsOpen() const {
    return m_pPort->m_hPort >= 0;
}

void CSerialLink::PurgePort() {
    tcflush(m_pPort->m_hPort, TCIOFLUSH);
}

void CSerialLink::ResetPortWorkerState() {
    m_pPort->modemLines = 0;
}

void CSerialLink::SignalStop() {
    if (m_pPort->m_hStopEvent >= 0) SignalEvent(m_pPort->m_hStopEvent);
}

void CSerialLink::SignalWriteRequest() {
    if (m_pPort->m_hSendEvent >= 0) SignalEvent(m_pPort->m_hSendEvent);
}

// Every wait of the worker here also watches the stop request: it never has
// to give a port up as it stops.
void CSerialLink::ReportStopFailure() {}

int CSerialLink::RenewEvents() {
    ReleaseEvents();
    Port& port = *m_pPort;
    port.m_hStopEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    port.m_hSendEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (port.m_hStopEvent < 0 || port.m_hSendEvent < 0) {
        const int error = errno;
        ReleaseEvents();
        return error;
    }
    port.m_hWaitSet[0] = port.m_hStopEvent;
    port.m_hWaitSet[2] = port.m_hSendEvent;
    return 0;
}

void CSerialLink::ReleaseEvents() {
    Port& port = *m_pPort;
    CloseDescriptor(port.m_hStopEvent);
    CloseDescriptor(port.m_hSendEvent);
    port.m_hWaitSet[0] = -1;
    port.m_hWaitSet[2] = -1;
}

// The port is left as it was found: the line settings in force when it was
// opened come back (a port that is gone takes none, and nothing is reported).
// Closing the descriptor also releases the lock taken by Open.
void CSerialLink::ClosePort() {
    Port& port = *m_pPort;
    if (port.m_hPort < 0) return;
    if (port.restoreLineSettings) tcsetattr(port.m_hPort, TCSANOW, &port.savedLineSettings);
    port.restoreLineSettings = false;
    ioctl(port.m_hPort, TIOCNXCL);
    CloseDescriptor(port.m_hPort);
    port.m_hWaitSet[1] = -1;
}

}  // namespace velmora
