// The Linux link's Port and what its two files share: a terminal, eventfds for
// the events and poll for the worker's wait. For SerialLink_unix*.cpp only.
#pragma once

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstdint>

#include "SerialLink.h"

namespace velmora {

// The port's write time-out in milliseconds: a constant, and as much again per
// byte. Reads only ever take bytes that are already waiting, so they have no
// time-out.
constexpr int kPortTimeoutMs = 1000;

// Win32-style names, POSIX things: m_hPort is the port's file descriptor, -1
// while closed; m_hStopEvent and m_hSendEvent are eventfds standing for
// manual-reset events (signalled while readable, reset by reading them);
// m_hWaitSet the descriptors the worker polls (stop, port, write request);
// m_lineSettings the port's termios, in place of a DCB.
struct CSerialLink::Port {
    struct Timeouts {
        int writeTotalMultiplier = 0;
        int writeTotalConstant = 0;
    };

    // Line changes are delivered in a fixed order: CTS first, ring last.
    void SampleModemLines(CSerialLink& link, std::uint64_t generation);

    int m_hStopEvent = -1;
    int m_hPort = -1;
    int m_hSendEvent = -1;
    // The worker's wait set, in priority order: shutdown, port, write request.
    std::array<int, 3> m_hWaitSet{-1, -1, -1};
    Timeouts m_portTimeouts;
    termios m_lineSettings{};
    // The port's settings as Open found them, restored by ClosePort when set.
    termios savedLineSettings{};
    bool restoreLineSettings = false;
    // Set by Open: whether the device has modem lines (a pseudo-terminal has none).
    bool hasModemLines = false;
    // The worker's own: the last sampled modem lines.
    int modemLines = 0;
};

// Events are eventfds: readable while signalled, until they are reset.
inline void SignalEvent(int event) {
    const std::uint64_t one = 1;
    // Only an overflowing counter could refuse this, and a signalled event stays signalled.
    [[maybe_unused]] const ssize_t written = write(event, &one, sizeof one);
}

inline void ResetEvent(int event) {
    std::uint64_t value = 0;
    // EAGAIN means it was not signalled: nothing to reset.
    [[maybe_unused]] const ssize_t got = read(event, &value, sizeof value);
}

inline bool IsSignalled(int event) {
    pollfd probe{event, POLLIN, 0};
    return poll(&probe, 1, 0) > 0 && (probe.revents & POLLIN) != 0;
}

}  // namespace velmora
