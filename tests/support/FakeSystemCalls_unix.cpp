#include "FakeSystemCalls_unix.h"

#include <poll.h>
#include <sys/stat.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <utility>

// The linker routes the program's calls to `name` to __wrap_name; __real_name is
// the system's own. The linker gives these names, reserved as they are.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" int __real_tcsetattr(int fd, int action, const termios* settings);
extern "C" int __real_poll(pollfd* fds, nfds_t count, int timeout);
extern "C" int __wrap_tcsetattr(int fd, int action, const termios* settings);
extern "C" int __wrap_poll(pollfd* fds, nfds_t count, int timeout);
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

namespace velmora::test {
namespace {

std::mutex g_alterMutex;
std::function<void(termios&)> g_alter;
// The device number of the terminal whose hang-up is faked; 0 when none is.
std::atomic<dev_t> g_hungUpDevice{0};

}  // namespace

AlteredSetAttr::AlteredSetAttr(std::function<void(termios&)> alter) {
    std::lock_guard lock(g_alterMutex);
    g_alter = std::move(alter);
}

AlteredSetAttr::~AlteredSetAttr() {
    std::lock_guard lock(g_alterMutex);
    g_alter = nullptr;
}

HangUpWhenReadable::HangUpWhenReadable(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        throw std::runtime_error("not a terminal: " + path);
    }
    g_hungUpDevice.store(info.st_rdev);
}

HangUpWhenReadable::~HangUpWhenReadable() {
    g_hungUpDevice.store(0);
}

}  // namespace velmora::test

using namespace velmora::test;

// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" int __wrap_tcsetattr(int fd, int action, const termios* settings) {
    std::function<void(termios&)> alter;
    {
        std::lock_guard lock(g_alterMutex);
        alter = g_alter;
    }
    if (!alter) return __real_tcsetattr(fd, action, settings);
    termios altered = *settings;
    alter(altered);
    return __real_tcsetattr(fd, action, &altered);
}

// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" int __wrap_poll(pollfd* fds, nfds_t count, int timeout) {
    const int ready = __real_poll(fds, count, timeout);
    const dev_t device = g_hungUpDevice.load();
    if (ready <= 0 || device == 0) return ready;
    for (nfds_t i = 0; i < count; ++i) {
        struct stat info {};
        if ((fds[i].revents & POLLIN) != 0 && fstat(fds[i].fd, &info) == 0 &&
            S_ISCHR(info.st_mode) && info.st_rdev == device) {
            fds[i].revents |= POLLHUP;
        }
    }
    return ready;
}
