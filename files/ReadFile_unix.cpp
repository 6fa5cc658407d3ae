#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "ReadFile.h"

namespace velmora {

ReadOutcome ReadFileStart(const std::string& path, std::size_t maxBytes, std::string& out) {
    // O_NONBLOCK so that a FIFO chosen by mistake cannot hang the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? ReadOutcome::Missing : ReadOutcome::Unusable;
    ReadOutcome outcome = ReadOutcome::Unusable;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        // Read piece by piece, so that a short file costs a short buffer.
        std::string text;
        char piece[4096];
        outcome = ReadOutcome::Read;
        while (text.size() < maxBytes) {
            const std::size_t wanted = std::min(sizeof piece, maxBytes - text.size());
            const ssize_t got = ::read(fd, piece, wanted);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) outcome = ReadOutcome::Unusable;
            if (got <= 0) break;
            text.append(piece, static_cast<std::size_t>(got));
        }
        if (outcome == ReadOutcome::Read) out = std::move(text);
    }
    ::close(fd);
    return outcome;
}

}  // namespace velmora
