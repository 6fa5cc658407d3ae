// A pseudo-terminal standing in for the device: the test writes the device's
// bytes on the master side, and the program under test opens the slave by its path.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>

#include "DeviceFrame.h"

namespace velmora::test {

// Generous: the tests also run under ThreadSanitizer on a busy machine.
constexpr auto kDeadline = std::chrono::seconds(10);

// The device side is the master. A slave descriptor of its own shows the
// line's state (settings, bytes waiting) the way the program under test sees it.
class PtyDevice {
  public:
    PtyDevice() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[64] = {};
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
            ptsname_r(m_master, name, sizeof name) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        m_slavePath = name;
        m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw{};
        if (m_slave < 0 || tcgetattr(m_slave, &raw) != 0) throw std::runtime_error("no slave");
        cfmakeraw(&raw);  // no echo back to the master
        tcsetattr(m_slave, TCSANOW, &raw);
    }
    ~PtyDevice() {
        Unplug();
        close(m_slave);
    }
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    const std::string& Path() const { return m_slavePath; }
    int Master() const { return m_master; }
    int Slave() const { return m_slave; }

    void Send(const ByteString& bytes) const {
        if (write(m_master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            throw std::runtime_error("short write to the master");
        }
    }

    // Reads until `count` bytes came or the deadline passed; returns what came.
    ByteString Receive(std::size_t count) const {
        ByteString got;
        const auto deadline = std::chrono::steady_clock::now() + kDeadline;
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd ready{m_master, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) continue;
            char buffer[64];
            const ssize_t n = read(m_master, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    // Bytes waiting in the line's input queue, not yet taken by the link.
    int InputWaiting() const {
        int waiting = -1;
        ioctl(m_slave, FIONREAD, &waiting);
        return waiting;
    }

    // Suspends or resumes the line's output: while suspended, nothing that the
    // program under test writes leaves the port.
    bool SuspendOutput(bool suspend) const {
        // Nothing else in a test changes the line's flow.
        return tcflow(m_slave, suspend ? TCOOFF : TCOON) == 0;  // NOLINT(concurrency-mt-unsafe)
    }

    // The device goes away: the slave side hangs up.
    void Unplug() {
        if (m_master >= 0) close(m_master);
        m_master = -1;
    }

  private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

}  // namespace velmora::test
