// The record file on Linux: flock around the check, the move and the append;
// O_APPEND so that each write lands at the file's end.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "RecordFileSystem.h"
#include "unix/SystemFile.h"

namespace velmora::record_detail {
namespace {

std::string SystemWords(int error) {
    return std::generic_category().message(error);
}

// A descriptor closed (and so unlocked) when its owner goes.
class Descriptor {
  public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }
    // The error of the close itself, or 0.
    int Close() {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

  private:
    int m_fd;
};

// The environment is read, never changed, by the programs: getenv is safe here.
const char* Variable(const char* name) {
    return std::getenv(name);  // NOLINT(concurrency-mt-unsafe): see above
}

std::string HomeFolder() {
    if (const char* home = Variable("HOME"); home != nullptr && home[0] == '/') return home;
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

}  // namespace

std::string StateFolder(std::string& reason) {
    // A relative XDG_STATE_HOME is to be ignored, as an unset one.
    if (const char* state = Variable("XDG_STATE_HOME"); state != nullptr && state[0] == '/')
        return std::string(state) + "/velmora";
    const std::string home = HomeFolder();
    if (home.empty()) {
        reason = "no home folder is known (HOME is not set)";
        return {};
    }
    return home + "/.local/state/velmora";
}

bool AppendLocked(const std::string& path, const std::string& older, std::string_view line,
                  std::uint64_t limit, std::string& reason) {
    const auto fail = [&reason](int error) {
        reason = SystemWords(error);
        return false;
    };
    // Another program may move the file to the older name while this one
    // waits for the lock: the file then opened is no longer the record, and
    // the name is opened again.
    for (int attempt = 0; attempt < 20; ++attempt) {
        Descriptor file(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
        if (file.Get() < 0) return fail(errno);
        while (::flock(file.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) return fail(errno);
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(file.Get(), &opened) != 0) return fail(errno);
        if (!S_ISREG(opened.st_mode)) {
            reason = "it is not a regular file";
            return false;
        }
        if (::stat(path.c_str(), &named) != 0 || named.st_dev != opened.st_dev ||
            named.st_ino != opened.st_ino)
            continue;
        const auto size = static_cast<std::uint64_t>(opened.st_size);
        // A line cut short by a failure before (a full disk) is ended first,
        // so that this one stays a line of its own.
        char last = '\n';
        if (size > 0 && ::pread(file.Get(), &last, 1, opened.st_size - 1) != 1) last = '\n';
        const bool endLine = last != '\n';
        if (size > 0 && size + endLine + line.size() > limit) {
            // Moved under the lock: the next round begins a new file. Should the
            // move fail, the line still goes in and the file grows for now.
            if (::rename(path.c_str(), older.c_str()) == 0) continue;
        }
        std::string bytes;
        bytes.reserve(line.size() + 1);
        if (endLine) bytes += '\n';
        bytes.append(line);
        if (!WriteAll(file.Get(), bytes) || ::fdatasync(file.Get()) != 0) return fail(errno);
        if (const int error = file.Close(); error != 0) return fail(error);
        return true;
    }
    reason = "the file was moved away again and again";
    return false;
}

}  // namespace velmora::record_detail
