#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <system_error>

#include "ReplaceFile.h"
#include "unix/SystemFile.h"

namespace velmora {
namespace {

// The process's file-creation mask, read without changing it (umask() would
// change it for every thread for a moment).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8)) & 0777;
        }
    }
    return 022;
}

// The name the contents must go to: a symbolic link, even one whose target
// does not exist yet, is followed to the file it names. Nothing for a chain of
// links too long to follow.
std::optional<std::string> FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length < 0) return path;  // no link (or no file yet): the name itself
        if (static_cast<std::size_t>(length) == sizeof target) return std::nullopt;
        std::string next(target, static_cast<std::size_t>(length));
        const std::size_t slash = path.rfind('/');
        if (!next.empty() && next.front() != '/' && slash != std::string::npos)
            next.insert(0, path, 0, slash + 1);
        path = std::move(next);
    }
    return std::nullopt;
}

// No write permission for anyone in its mode (which binds even the superuser
// here), or none for this process. A file system mounted read-only is another
// matter: writing there fails by itself.
bool IsReadOnly(const std::string& path, const struct stat& info) {
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
           (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES);
}

}  // namespace

bool IsReadOnlyFile(const std::string& path) {
    const std::optional<std::string> file = FollowLinks(path);
    struct stat info {};
    return file && ::stat(file->c_str(), &info) == 0 && IsReadOnly(*file, info);
}

// rename() leaves the old file under its name until the new one takes it:
// nothing is ever kept elsewhere, and a failure gives only its reason.
bool ReplaceFileContents(const std::string& requested, std::string_view bytes,
                         ReplaceFailure* failure) {
    const auto fail = [failure](std::string why) {
        if (failure != nullptr) failure->reason = std::move(why);
        return false;
    };
    const std::optional<std::string> target = FollowLinks(requested);
    if (!target) return fail(std::generic_category().message(ELOOP));
    const std::string& path = *target;
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && IsReadOnly(path, old)) return fail("the file is read-only");
    const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());

    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string temp = folder + ".velmora-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return fail(std::generic_category().message(errno));

    // The owner first: changing it may clear set-id bits that the mode then restores.
    if (exists && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        [[maybe_unused]] const int groupOnly = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    }
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return fail(std::generic_category().message(error));
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
