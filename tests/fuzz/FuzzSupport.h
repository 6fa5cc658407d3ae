// Helpers shared by the fuzz targets: a check that stays on in release builds
// and a file held in memory.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::fuzz {

// assert() is compiled out with NDEBUG; a broken property must stop the run
// so that libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::velmora::fuzz::Fail(#condition, __FILE__, __LINE__))

// For LLVMFuzzerInitialize: adds "-max_len=N" to libFuzzer's arguments unless
// they hold one. A target whose work grows with its input stays fast this way:
// libFuzzer otherwise lets inputs grow to 4096 bytes over a long run.
inline void DefaultMaxLen(int* argc, char*** argv, int maxLen) {
    for (int i = 1; i < *argc; ++i) {
        if (std::string_view((*argv)[i]).starts_with("-max_len=")) return;
    }
    static std::string flag;
    static std::vector<char*> args;
    flag = "-max_len=" + std::to_string(maxLen);
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, flag.data());
    args.push_back(nullptr);
    *argc += 1;
    *argv = args.data();
}

// A file held in memory (memfd_create): it is opened by its path like any
// regular file, and refilling it costs no folder entry and no disk flush.
class MemoryFile {
  public:
    MemoryFile() : m_fd(::memfd_create("velmora-fuzz", MFD_CLOEXEC)) {
        if (m_fd < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~MemoryFile() { ::close(m_fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const std::string& Path() const { return m_path; }

    // Makes the file hold exactly `bytes`.
    bool Hold(std::string_view bytes) const {
        if (::ftruncate(m_fd, 0) != 0) return false;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::pwrite(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

  private:
    int m_fd;
    std::string m_path;
};

// One per process, created on first use.
inline const MemoryFile& Memory() {
    static const MemoryFile file;
    return file;
}

}  // namespace velmora::fuzz
