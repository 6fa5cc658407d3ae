// velmora-devsim: a stand-in for the device on a pseudo-terminal. It prints the
// terminal's path, then answers every good 12-byte frame it receives with 15
// bytes ending in 0x00, or in one of the faulty ways chosen on the command line.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "DeviceFrame.h"
#include "FrameAssembler.h"
#include "version.h"

namespace {

using velmora::ByteString;
using velmora::FrameAssembler;
using velmora::kFrameSize;
using velmora::kReplySize;
using Clock = std::chrono::steady_clock;

constexpr char kUsage[] =
    "Usage: velmora-devsim [options]\n"
    "Opens a pseudo-terminal, prints its device path on the first line of\n"
    "standard output and answers the frames written to it like a device.\n"
    "A frame is 12 bytes starting with 0x7E whose checksum over all 12 bytes\n"
    "is 0; other bytes are skipped. Each frame is answered with the frame, the\n"
    "bytes 'O' 'K' and 0x00 (15 bytes ending in 0x00) unless told otherwise.\n"
    "\n"
    "Options:\n"
    "  --fail-at K          answer frame K (0-based, counted since start) with\n"
    "                       the fault of --fail-mode (default last01)\n"
    "  --fail-mode MODE     the fault: last01 (15 bytes ending in 0x01),\n"
    "                       len12 (the frame echoed), len14 (14 bytes),\n"
    "                       len16 (16 bytes ending in 0x00), silence (nothing),\n"
    "                       twice (the good answer sent two times, 30 bytes);\n"
    "                       without --fail-at every frame gets it\n"
    "  --flood BYTES        a fault too: answer with BYTES bytes counting\n"
    "                       00 01 02 ... FF 00 ...; with --fail-at only frame K,\n"
    "                       otherwise every frame\n"
    "  --delay MS           wait MS milliseconds before answering\n"
    "  --slow-byte MS       wait MS milliseconds between answer bytes\n"
    "  --line-rate BAUD     pace what is read and what is written at ten bits a\n"
    "                       byte, as on a serial line of BAUD (8.33 ms a byte at\n"
    "                       1200): a frame is seen once its last byte has\n"
    "                       crossed the line, and each answer byte appears when\n"
    "                       it would have\n"
    "  --log FILE           append one line per frame received: milliseconds\n"
    "                       since start and the 12 bytes in hex\n"
    "  --hangup-at K        hang up while answering frame K (0-based): send the\n"
    "                       first bytes of its answer, then close the terminal\n"
    "                       and exit\n"
    "  --hangup-after N     bytes of that answer sent before the hangup (default 7)\n"
    "  --exit-after N       exit once N frames have been answered\n"
    "  --stdin-lifeline     exit when standard input is closed\n"
    "  --help               show this text\n"
    "  --version            show the version\n"
    "SIGTERM and SIGINT end the simulator cleanly.\n";

enum class Answer { Good, Last01, Len12, Len14, Len16, Silence, Twice, Flood };

struct Options {
    std::optional<long> failAt;
    std::optional<Answer> fault;
    long floodBytes = 0;
    long delayMs = 0;
    long slowByteMs = 0;
    long lineRate = 0;  // baud; 0: bytes cross at once
    std::string logPath;
    std::optional<long> hangupAt;
    long hangupAfter = 7;
    long exitAfter = 0;  // 0: never
    bool stdinLifeline = false;
};

// Written by the signal handler; the main loop polls its read end.
int g_stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int /*signo*/) {
    const char byte = 1;
    // Nothing can be done about a full pipe: a wake-up is already pending then.
    [[maybe_unused]] const ssize_t ignored = write(g_stopPipe[1], &byte, 1);
}

bool ParseCount(const char* text, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= 0;
}

std::optional<Answer> ParseMode(std::string_view mode) {
    if (mode == "last01") return Answer::Last01;
    if (mode == "len12") return Answer::Len12;
    if (mode == "len14") return Answer::Len14;
    if (mode == "len16") return Answer::Len16;
    if (mode == "silence") return Answer::Silence;
    if (mode == "twice") return Answer::Twice;
    return std::nullopt;
}

// Returns false (after a message) when the command line cannot be used.
bool ParseOptions(int argc, char** argv, Options& options) {
    constexpr std::string_view kValueOptions[] = {
        "--fail-at", "--fail-mode", "--flood",        "--delay",      "--slow-byte",
        "--log",     "--hangup-at", "--hangup-after", "--exit-after", "--line-rate"};
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "--version") {
            std::fputs(arg == "--help" ? kUsage : VELMORA_VERSION_LINES("velmora-devsim"), stdout);
            // Nothing but this thread exists while the options are read.
            std::exit(0);  // NOLINT(concurrency-mt-unsafe)
        }
        if (arg == "--stdin-lifeline") {
            options.stdinLifeline = true;
            continue;
        }
        if (std::find(std::begin(kValueOptions), std::end(kValueOptions), arg) ==
            std::end(kValueOptions)) {
            std::fprintf(stderr, "velmora-devsim: unknown option %s (see --help)\n", argv[i]);
            return false;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "velmora-devsim: %s needs a value (see --help)\n", argv[i]);
            return false;
        }
        if ((arg == "--fail-mode" || arg == "--flood") && options.fault.has_value()) {
            std::fputs("velmora-devsim: give only one of --fail-mode and --flood\n", stderr);
            return false;
        }
        const char* value = argv[++i];
        long number = 0;
        bool ok = arg == "--fail-mode" || arg == "--log" || ParseCount(value, number);
        if (arg == "--fail-mode") {
            const std::optional<Answer> mode = ParseMode(value);
            ok = mode.has_value();
            options.fault = mode;
        } else if (arg == "--log") {
            options.logPath = value;
        } else if (arg == "--fail-at") {
            options.failAt = number;
        } else if (arg == "--flood") {
            options.fault = Answer::Flood;
            options.floodBytes = number;
        } else if (arg == "--delay") {
            options.delayMs = number;
        } else if (arg == "--slow-byte") {
            options.slowByteMs = number;
        } else if (arg == "--line-rate") {
            ok = ok && number > 0;
            options.lineRate = number;
        } else if (arg == "--hangup-at") {
            options.hangupAt = number;
        } else if (arg == "--hangup-after") {
            options.hangupAfter = number;
        } else {
            options.exitAfter = number;
        }
        if (!ok) {
            std::fprintf(stderr, "velmora-devsim: bad value '%s' for %s (see --help)\n", value,
                         argv[i - 1]);
            return false;
        }
    }
    if (options.failAt && !options.fault) {
        options.fault = Answer::Last01;
    }
    return true;
}

ByteString ComposeAnswer(const ByteString& frame, Answer answer, long floodBytes) {
    ByteString good = frame + "OK" + '\0';
    switch (answer) {
        case Answer::Good:
            return good;
        case Answer::Last01:
            good.back() = '\x01';
            return good;
        case Answer::Len12:
            return frame;
        case Answer::Len14:
            return good.substr(0, kReplySize - 1);
        case Answer::Len16:
            return good + '\0';
        case Answer::Silence:
            return {};
        case Answer::Twice:
            return good + good;
        case Answer::Flood: {
            ByteString flood;
            for (long i = 0; i < floodBytes; ++i) {
                flood.push_back(static_cast<char>(i & 0xFF));
            }
            return flood;
        }
    }
    return good;
}

class Simulator {
  public:
    explicit Simulator(const Options& options) : m_options(options) {}

    ~Simulator() {
        // Every log line is flushed as it is written, so a failed close loses nothing.
        if (m_log != nullptr) std::fclose(m_log);  // NOLINT(cert-err33-c)
        if (m_slave >= 0) close(m_slave);
        if (m_master >= 0) close(m_master);
    }

    // Opens the pseudo-terminal and prints its path. False after a message.
    bool Open() {
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

    // Answers frames until stopped. Returns the process's exit status.
    int Run() {
        FrameAssembler assembler;
        for (;;) {
            pollfd fds[3] = {{g_stopPipe[0], POLLIN, 0},
                             {m_master, POLLIN, 0},
                             {m_options.stdinLifeline ? STDIN_FILENO : -1, POLLIN, 0}};
            if (poll(fds, 3, -1) < 0) {
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

  private:
    // Logs and answers one frame. False when the simulator is to end: a stop was
    // requested meanwhile, it hung up as told, or the answer could not be
    // written (then m_status says so).
    bool Respond(const ByteString& frame) {
        const long index = m_framesSeen++;
        Log(frame);
        Answer kind = Answer::Good;
        if (m_options.fault && (!m_options.failAt || *m_options.failAt == index)) {
            kind = *m_options.fault;
        }
        if (!Wait(m_options.delayMs)) return false;
        ByteString answer = ComposeAnswer(frame, kind, m_options.floodBytes);
        const bool hangUp = m_options.hangupAt == index;
        if (hangUp)
            answer.resize(std::min(answer.size(), static_cast<std::size_t>(m_options.hangupAfter)));
        if (m_options.slowByteMs == 0 && m_byteTime.count() == 0) {
            if (!WriteAll(answer.data(), answer.size())) return false;
        } else {
            // Each byte appears when its last bit has crossed the line, and
            // no sooner than the chosen spacing after the one before.
            const Clock::duration spacing = std::max<Clock::duration>(
                m_byteTime, std::chrono::milliseconds(m_options.slowByteMs));
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

    void Log(const ByteString& frame) {
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
    bool WriteAll(const char* data, std::size_t count) {
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
    static bool Wait(long ms) { return WaitUntil(Clock::now() + std::chrono::milliseconds(ms)); }

    // Sleeps until `until` (the last part of a millisecond in a short spin, so
    // that a paced line keeps its rate); false as soon as a stop is requested.
    static bool WaitUntil(Clock::time_point until) {
        for (;;) {
            const auto left = until - Clock::now();
            if (left <= Clock::duration::zero()) return true;
            const auto wholeMs = std::chrono::duration_cast<std::chrono::milliseconds>(left);
            pollfd stop{g_stopPipe[0], POLLIN, 0};
            if (poll(&stop, 1, static_cast<int>(wholeMs.count())) > 0) return false;
        }
    }

    // Waits until the terminal takes bytes again; false once a stop is requested
    // or the lifeline is cut.
    bool WaitForRoom() const {
        for (;;) {
            pollfd fds[3] = {{g_stopPipe[0], POLLIN, 0},
                             {m_master, POLLOUT, 0},
                             {m_options.stdinLifeline ? STDIN_FILENO : -1, POLLIN, 0}};
            if (poll(fds, 3, -1) < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (fds[0].revents != 0) return false;
            if (fds[2].revents != 0 && !StdinAlive()) return false;
            if (fds[1].revents != 0) return true;
        }
    }

    // Reads (and drops) what stdin holds; false once it has been closed.
    static bool StdinAlive() {
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
    void WaitUntilDelivered() const {
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

    static bool Fail(const char* what) {
        std::fprintf(stderr, "velmora-devsim: %s: %s\n", what,
                     std::generic_category().message(errno).c_str());
        return false;
    }

    const Options& m_options;
    const Clock::time_point m_start = Clock::now();
    // Ten bits a byte at the line rate; zero when the line is not paced.
    const Clock::duration m_byteTime = m_options.lineRate > 0
                                           ? std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::nanoseconds(10'000'000'000LL /
                                                                          m_options.lineRate))
                                           : Clock::duration::zero();
    Clock::time_point m_lineFreeAt;  // when the last byte read has crossed the line
    int m_master = -1;
    int m_slave = -1;
    std::FILE* m_log = nullptr;
    long m_framesSeen = 0;
    int m_status = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        return 2;
    }
    if (pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("velmora-devsim: pipe");
        return 1;
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

    Simulator simulator(options);
    if (!simulator.Open()) {
        return 1;
    }
    return simulator.Run();
}
