// What the POSIX file calls share. Linux only.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace velmora {

// Writes all of `bytes` to `fd`, going on after a short write or an
// interrupted one; false (errno set) when the system refuses.
inline bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace velmora
