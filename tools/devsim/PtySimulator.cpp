#include "PtySimulator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "FrameAssembler.h"

namespace velmora {
namespace {

// Written by the signal handler; every wait polls its read end.
int g_stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int /*signo*/) {
    const char byte = 1;
    // Nothing can be done about a full pipe: a wake-up is already pending then.
    [[maybe_unused]] const ssize_t ignored = write(g_stopPipe[1], &byte, 1);
}

}  // namespace

bool InstallStopSignals() {
    if (pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("velmora-devsim: pipe");
        return false;
    }
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
    return true;
}

PtySimulator::~PtySimulator() {
    // Every log line is flushed as it is written, so a failed close loses nothing.
    if (m_log != nullptr) std::fclose(m_log);  // NOLINT(cert-err33-c)
    if (m_slave >= 0) close(m_slave);
    if (m_master >= 0) close(m_master);
}

bool PtySimulator::Open() {
    if (!m_options.logPath.empty()) {
        m_log = std::fopen(m_options.logPath.c_str(), "a");
        if (m_log == nullptr) return Fail("cannot open the log file");
    }
    // Non-blocking: a flood that nobody reads any more must not hold the
    // simulator in a write, deaf to its stop signal and its lifeline.
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        return Fail("cannot create a pseudo-terminal");
    }
    char path[128];
    if (ptsname_r(m_master, path, sizeof path) != 0) return Fail("ptsname_r");
    // Holding the slave open ourselves keeps the master usable while the
    // client has it closed (the master would see POLLHUP/EIO otherwise).
    m_slave = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) return Fail("cannot open the slave side");
    termios raw{};
    if (tcgetattr(m_slave, &raw) != 0) return Fail("tcgetattr");
    cfmakeraw(&raw);
    if (tcsetattr(m_slave, TCSANOW, &raw) != 0) return Fail("tcsetattr");
    std::printf("%s\n", path);
    std::fflush(stdout);
    return true;
}

int PtySimulator::Run() {
    FrameAssembler assembler;
    for (;;) {
        pollfd fds[3];
        if (PollWith(POLLIN, fds) < 0) {
            if (errno == EINTR) continue;
            Fail("poll");
            return 1;
        }
        if (fds[0].revents != 0) return 0;
        if (fds[2].revents != 0 && !StdinAlive()) return 0;
        if ((fds[1].revents & POLLIN) == 0) {
            // Only a hangup without data: back off instead of spinning.
            if (fds[1].revents != 0 && !Wait(50)) return 0;
            continue;
        }
        char buffer[256];
        const ssize_t got = read(m_master, buffer, sizeof buffer);
        if (got < 0 && errno != EINTR && errno != EAGAIN && errno != EIO) {
            Fail("read");
            return 1;
        }
        if (got <= 0) continue;
        // On a paced line each byte is seen only once it has crossed.
        const std::size_t step = m_byteTime.count() > 0 ? 1 : static_cast<std::size_t>(got);
        for (std::size_t at = 0; at < static_cast<std::size_t>(got); at += step) {
            if (m_byteTime.count() > 0) {
                m_lineFreeAt = std::max(m_lineFreeAt, Clock::now()) + m_byteTime;
                if (!WaitUntil(m_lineFreeAt)) return 0;
            }
            for (const ByteString& frame : assembler.Feed(buffer + at, step)) {
                if (!Respond(frame)) return m_status;
                if (m_options.exitAfter > 0 && m_framesSeen >= m_options.exitAfter) {
                    WaitUntilDelivered();
                    return 0;
                }
            }
        }
    }
}

// Logs and answers one frame. False when the simulator is to end: a stop was
// requested meanwhile, it hung up as told, or the answer could not be
// written (then m_status says so).
bool PtySimulator::Respond(const ByteString& frame) {
    const long index = m_framesSeen++;
    Log(frame);
    if (!Wait(m_options.delayMs)) return false;
    const ByteString answer = m_options.answers.AnswerTo(frame, index);
    const bool hangUp = m_options.answers.HangsUpAt(index);
    if (m_options.slowByteMs == 0 && m_byteTime.count() == 0) {
        if (!WriteAll(answer.data(), answer.size())) return false;
    } else {
        // Each byte appears when its last bit has crossed the line, and
        // no sooner than the chosen spacing after the one before.
        const Clock::duration spacing =
            std::max<Clock::duration>(m_byteTime, std::chrono::milliseconds(m_options.slowByteMs));
        Clock::time_point due = Clock::now() + m_byteTime;
        for (std::size_t i = 0; i < answer.size(); ++i) {
            if (i > 0) due += spacing;
            if (!WaitUntil(due)) return false;
            if (!WriteAll(&answer[i], 1)) return false;
        }
    }
    if (!hangUp) return true;
    // The client sees the first bytes, then the line goes dead: the
    // terminal closes with the process.
    WaitUntilDelivered();
    return false;
}

void PtySimulator::Log(const ByteString& frame) {
    if (m_log == nullptr) return;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_start);
    std::fprintf(m_log, "%lld", static_cast<long long>(elapsed.count()));
    for (const char c : frame) {
        std::fprintf(m_log, " %02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
    }
    std::fputc('\n', m_log);
    std::fflush(m_log);
}

// False when a stop came before everything was written, or on an error.
bool PtySimulator::WriteAll(const char* data, std::size_t count) {
    while (count > 0) {
        const ssize_t put = write(m_master, data, count);
        if (put < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!WaitForRoom()) return false;
                continue;
            }
            m_status = 1;
            return Fail("write");
        }
        data += put;
        count -= static_cast<std::size_t>(put);
    }
    return true;
}

// Sleeps for `ms` milliseconds; false as soon as a stop is requested.
bool PtySimulator::Wait(long ms) {
    return WaitUntil(Clock::now() + std::chrono::milliseconds(ms));
}

// Sleeps until `until` (the last part of a millisecond in a short spin, so
// that a paced line keeps its rate); false as soon as a stop is requested.
bool PtySimulator::WaitUntil(Clock::time_point until) {
    for (;;) {
        const auto left = until - Clock::now();
        if (left <= Clock::duration::zero()) return true;
        const auto wholeMs = std::chrono::duration_cast<std::chrono::milliseconds>(left);
        pollfd stop{g_stopPipe[0], POLLIN, 0};
        if (poll(&stop, 1, static_cast<int>(wholeMs.count())) > 0) return false;
    }
}

int PtySimulator::PollWith(short events, pollfd (&fds)[3]) const {
    fds[0] = {g_stopPipe[0], POLLIN, 0};
    fds[1] = {m_master, events, 0};
    fds[2] = {m_options.stdinLifeline ? STDIN_FILENO : -1, POLLIN, 0};
    return poll(fds, 3, -1);
}

// Waits until the terminal takes bytes again; false once a stop is requested
// or the lifeline is cut.
bool PtySimulator::WaitForRoom() const {
    for (;;) {
        pollfd fds[3];
        if (PollWith(POLLOUT, fds) < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (fds[0].revents != 0) return false;
        if (fds[2].revents != 0 && !StdinAlive()) return false;
        if (fds[1].revents != 0) return true;
    }
}

// Reads (and drops) what stdin holds; false once it has been closed.
bool PtySimulator::StdinAlive() {
    char buffer[256];
    ssize_t got = 0;
    do {
        got = read(STDIN_FILENO, buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    return got > 0;
}

// Closing the master hangs up the terminal and throws away whatever the
// client has not read yet, so give the last answer a moment to be read.
// Written bytes reach the terminal's input queue a little after the write,
// so one look at an empty queue proves nothing: it must stay empty a while.
void PtySimulator::WaitUntilDelivered() const {
    constexpr long kStepMs = 10;
    constexpr int kEmptySteps = 10;
    int empty = 0;
    for (int tries = 0; tries < 300 && empty < kEmptySteps; ++tries) {
        int queued = 0;
        if (ioctl(m_slave, FIONREAD, &queued) != 0) return;
        empty = queued == 0 ? empty + 1 : 0;
        if (!Wait(kStepMs)) return;
    }
}

bool PtySimulator::Fail(const char* what) {
    std::fprintf(stderr, "velmora-devsim: %s: %s\n", what,
                 std::generic_category().message(errno).c_str());
    return false;
}

}  // namespace velmora
