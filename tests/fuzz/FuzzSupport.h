// Helpers shared by the fuzz targets: a check that stays on in release builds
// and a private scratch folder that is removed when the process ends.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace velmora::fuzz {

// assert() is compiled out with NDEBUG; a broken property must stop the run
// so that libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::velmora::fuzz::Fail(#condition, __FILE__, __LINE__))

// A folder of this process's own, in memory where the machine has /dev/shm, so
// that writing a file on every input costs no disk flush.
class ScratchDir {
  public:
    ScratchDir() {
        const char* tmp = std::getenv("TMPDIR");
        std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm"
                           : tmp != nullptr && *tmp != '\0'          ? tmp
                                                                     : "/tmp";
        std::string pattern = base + "/velmora-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_path = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string File(std::string_view name) const { return m_path + "/" + std::string(name); }

  private:
    std::string m_path;
};

// One folder per process, created on first use. libFuzzer leaves through
// exit(), which runs the destructor of this function-local static.
inline const ScratchDir& Scratch() {
    static const ScratchDir dir;
    return dir;
}

inline bool WriteWholeFile(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::string text;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return text;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
}

}  // namespace velmora::fuzz
