// The Linux link's worker: its wait on the stop request, the port and the
// write request, the modem lines it samples, its reads and its writes.
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <optional>

#include "SerialLink_unix.h"

namespace velmora {

namespace {

// How often the modem lines are sampled while CTS or ring changes are watched;
// a terminal has no wait for them, and a change is reported within this time.
constexpr int kModemLineSampleMs = 50;
// Pause before the worker waits again after its wait itself failed.
constexpr int kWaitRetryMs = 100;

}  // namespace

void CSerialLink::WorkerMain(std::uint64_t generation) {
    Port& port = *m_pPort;
    tcflush(port.m_hPort, TCIOFLUSH);
    const bool watchLines =
        port.hasModemLines && (m_dwEventMask & (LinkEvent::Cts | LinkEvent::Ring)) != 0;
    if (watchLines && ioctl(port.m_hPort, TIOCMGET, &port.modemLines) != 0) port.modemLines = 0;
    const short portEvents = (m_dwEventMask & LinkEvent::RxChar) != 0 ? POLLIN : 0;
    bool waitReported = false;

    for (;;) {
        // A lost port is no longer watched (a negative descriptor is skipped), so
        // its hang-up cannot wake the worker again and again.
        pollfd waitSet[3] = {{port.m_hWaitSet[0], POLLIN, 0},
                             {m_bPortLost ? -1 : port.m_hWaitSet[1], portEvents, 0},
                             {port.m_hWaitSet[2], POLLIN, 0}};
        const int timeout = watchLines && !m_bPortLost ? kModemLineSampleMs : -1;
        if (poll(waitSet, 3, timeout) < 0) {
            if (errno == EINTR) continue;
            if (!waitReported) ReportError(LinkStep::WaitCommEvent, errno, generation);
            waitReported = true;
            poll(nullptr, 0, kWaitRetryMs);
            continue;
        }

        if (waitSet[0].revents != 0) {
            m_bWorkerAlive.store(false);  // the last access to the link
            return;
        }
        if (watchLines && !m_bPortLost) port.SampleModemLines(*this, generation);
        const short events = waitSet[1].revents;
        // Bytes that came before a hang-up are delivered before the loss is handled.
        if ((events & POLLIN) != 0) ReadAvailable(generation);
        if ((events & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            LosePort();
        } else if (events == 0 && waitSet[2].revents != 0) {
            WritePending(generation);
        }
    }
}

void CSerialLink::Port::SampleModemLines(CSerialLink& link, std::uint64_t generation) {
    int lines = 0;
    if (ioctl(m_hPort, TIOCMGET, &lines) != 0) {
        if (IsLostPortError(errno)) link.LosePort();
        return;
    }
    const int changed = lines ^ modemLines;
    modemLines = lines;
    if ((link.m_dwEventMask & LinkEvent::Cts) != 0 && (changed & TIOCM_CTS) != 0) {
        link.Post(WM_LINK_CTS, 0, generation);
    }
    if ((link.m_dwEventMask & LinkEvent::Ring) != 0 && (changed & lines & TIOCM_RNG) != 0) {
        link.Post(WM_LINK_RING, 0, generation);
    }
}

void CSerialLink::ReadAvailable(std::uint64_t generation) {
    const Port& port = *m_pPort;
    for (;;) {
        // Bytes that come after a stop was asked for may be dropped; a flood of
        // them must not hold the worker away from its shutdown.
        if (IsSignalled(port.m_hStopEvent)) return;

        int waiting = 0;
        int queryError = 0;
        unsigned char byte = 0;
        ssize_t got = -1;
        int readError = 0;
        {
            std::lock_guard lock(m_csPort);
            if (ioctl(port.m_hPort, FIONREAD, &waiting) != 0) {
                queryError = errno;
            } else if (waiting > 0) {
                got = read(port.m_hPort, &byte, 1);
                if (got < 0) readError = errno;
            }
        }

        if (queryError != 0) {
            if (IsLostPortError(queryError)) LosePort();
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
        ReportFailure(LinkStep::ReadFile, readError, generation);
        return;
    }
}

void CSerialLink::WritePending(std::uint64_t generation) {
    const Port& port = *m_pPort;
    ResetEvent(port.m_hSendEvent);
    // A lost port whose loss was already reported drops its write requests quietly.
    if (m_bPortLost && m_bLossReported) return;

    std::optional<LinkStep> failedStep;
    int errorCode = 0;
    int nCount = 0;
    int written = 0;
    bool timedOut = false;
    {
        std::lock_guard lock(m_csPort);
        nCount = m_nPendingBytes;
        // Stale input is discarded here and never delivered: whatever arrives from
        // now on answers this write.
        tcflush(port.m_hPort, TCIOFLUSH);

        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(
                                  port.m_portTimeouts.writeTotalConstant +
                                  std::int64_t{port.m_portTimeouts.writeTotalMultiplier} * nCount);
        while (written < nCount) {
            const ssize_t sent = write(port.m_hPort, m_pSendBuffer.get() + written,
                                       static_cast<std::size_t>(nCount - written));
            if (sent > 0) {
                written += static_cast<int>(sent);
                continue;
            }
            if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                errorCode = errno;
                failedStep = written == 0 ? LinkStep::WriteFile : LinkStep::WriteFileResult;
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
            pollfd room[2] = {{port.m_hPort, POLLOUT, 0}, {port.m_hStopEvent, POLLIN, 0}};
            if (poll(room, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) {
                errorCode = errno;
                failedStep = LinkStep::WriteFileResult;
                break;
            }
            if (room[1].revents != 0) break;
            if ((room[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                errorCode = EIO;
                failedStep = LinkStep::WriteFileResult;
                break;
            }
        }
    }

    if (timedOut) {
        ReportWriteTimeout(written, nCount, generation);
        return;
    }
    if (failedStep) ReportFailure(*failedStep, errorCode, generation);
}

}  // namespace velmora
