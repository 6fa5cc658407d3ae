// What wakes the watch on Linux: inotify on /dev, /dev/serial and
// /dev/serial/by-id (udev makes the last two at the first adapter plugged in,
// so they are watched from when they appear), and an eventfd for Stop.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

#include "SerialPortWatch.h"

namespace velmora {
namespace {

constexpr std::uint32_t kEntryEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

class InotifyWaiter final : public DeviceFolderWaiter {
  public:
    explicit InotifyWaiter(const SystemRoots& roots)
        : m_dev(roots.dev),
          m_inotify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
          m_stop(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        // Without its eventfd the watch could not be stopped.
        if (m_stop < 0) {
            const int error = errno;
            if (m_inotify >= 0) close(m_inotify);
            throw std::system_error(error, std::generic_category(), "eventfd");
        }
        WatchFolders();
    }
    ~InotifyWaiter() override {
        if (m_inotify >= 0) close(m_inotify);
        if (m_stop >= 0) close(m_stop);
    }
    InotifyWaiter(const InotifyWaiter&) = delete;
    InotifyWaiter& operator=(const InotifyWaiter&) = delete;

    Woken Wait(std::chrono::milliseconds timeout) override {
        std::array<pollfd, 2> fds{{{m_stop, POLLIN, 0}, {m_inotify, POLLIN, 0}}};
        // Without inotify (out of instances) only Stop and the timeout wake it.
        const nfds_t count = m_inotify >= 0 ? 2 : 1;
        for (;;) {
            const int ready = poll(fds.data(), count, static_cast<int>(timeout.count()));
            if (ready < 0 && errno == EINTR) continue;
            if (fds[0].revents != 0) return Woken::Stop;
            if (ready <= 0) return Woken::Quiet;
            break;
        }
        // Drain the events; what they name does not matter, as the whole list
        // is read again. A folder that appeared is watched from now on.
        alignas(inotify_event) std::array<char, 4096> buffer{};
        while (read(m_inotify, buffer.data(), buffer.size()) > 0) {
        }
        WatchFolders();
        return Woken::Change;
    }

    void Stop() override {
        const std::uint64_t one = 1;
        // The counter only grows; a failed write leaves it non-zero anyway.
        [[maybe_unused]] const ssize_t written = write(m_stop, &one, sizeof one);
    }

  private:
    // inotify_add_watch on a folder already watched changes nothing, and one
    // that does not exist (yet) fails harmlessly.
    void WatchFolders() {
        if (m_inotify < 0) return;
        for (const std::string& folder : {m_dev, m_dev + "/serial", m_dev + "/serial/by-id"}) {
            inotify_add_watch(m_inotify, folder.c_str(), kEntryEvents | IN_ONLYDIR);
        }
    }

    const std::string m_dev;
    const int m_inotify;
    const int m_stop;
};

}  // namespace

std::unique_ptr<DeviceFolderWaiter> DeviceFolderWaiter::Create(const SystemRoots& roots) {
    return std::make_unique<InotifyWaiter>(roots);
}

}  // namespace velmora
