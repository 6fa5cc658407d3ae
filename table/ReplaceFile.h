// Replacing a file's whole contents so that a failure at any point leaves the
// old file as it was: the new contents go to a temporary file in the same
// folder, are flushed to disk, and the temporary file is renamed over the old.
// Kept in a header so that the settings profile, which links nothing but
// itself, shares the one implementation with the date file.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

namespace velmora::detail {

// The process's file-creation mask, read without changing it (umask() would
// change it for every thread for a moment).
inline mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
        }
    }
    return 022;
}

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

}  // namespace velmora::detail

namespace velmora {

// Returns false when the contents could not be put in place; `path` is then
// untouched and no temporary file remains. A symbolic link is written through,
// and the file keeps its permissions (a new one gets the usual 0666 less umask).
inline bool ReplaceFileContents(std::string path, std::string_view bytes) {
    struct stat old {};
    if (::lstat(path.c_str(), &old) == 0 && S_ISLNK(old.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            path = resolved;
            std::free(resolved);
        }
    }
    const bool exists = ::stat(path.c_str(), &old) == 0;
    const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~detail::CurrentUmask());

    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string temp = folder + ".velmora-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;

    bool ok = ::fchmod(fd, mode) == 0 && detail::WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself is made durable by flushing the folder; the new
    // contents are already in place, so a failure here changes nothing.
    const int dirFd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace velmora
