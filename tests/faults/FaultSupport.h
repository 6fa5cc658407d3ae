// Shared by the window and command-line fault cases: what the process holds
// (threads, descriptors, memory, processor time), the simulator's frame log,
// paths that are no port, small file systems mounted for a case, and a program
// left running meanwhile.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "LinkTestSupport.h"

namespace velmora::faults {

using velmora::testing::DescriptorCount;
using velmora::testing::ThreadCount;

// What a case must give back: every thread it started and every descriptor it opened.
struct Holdings {
    int threads = 0;
    int descriptors = 0;
    static Holdings Now() { return {ThreadCount(), DescriptorCount()}; }
    bool operator==(const Holdings&) const = default;
    // Nothing more than `limit`: a case that leaks adds; a helper thread of the
    // toolkit's that ends on its own only takes away.
    bool Within(const Holdings& limit) const {
        return threads <= limit.threads && descriptors <= limit.descriptors;
    }
};

// The names of this process's threads and what its descriptors lead to, for
// telling what a case left behind.
inline std::string HoldingsList() {
    std::string list = "threads:";
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        list += " " + name;
    }
    list += "; descriptors:";
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        list += " " + fd.path().filename().string() + "->" +
                std::filesystem::read_symlink(fd.path(), error).string();
    }
    return list;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

// Names in `folder` that a failed replacement of a file there could leave.
inline std::vector<std::string> LeftoverTemporaries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".velmora-", 0) == 0) names.push_back(name);
    }
    return names;
}

// User and system time of this process, or of its children that have been waited for.
inline double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The largest resident set of any child waited for so far, in KiB.
inline long ChildrenPeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

inline long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
    }
    return -1;
}

// Starts a new peak of this process's resident set; VmHWM then reports it.
inline bool ResetPeakRss() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear.flush());
}

// ---- The simulator's log: "<ms> <12 bytes in hex>" per frame received --------

constexpr char kMark[] = "mark";

// A line of our own between the simulator's lines. Both append whole lines, so
// the marker falls between two frames.
inline void AppendMark(const std::string& logPath) {
    std::ofstream(logPath, std::ios::app) << kMark << '\n';
}

// The frames logged after the last marker (all of them without one), as bytes.
inline std::vector<std::string> FramesAfterLastMark(const std::string& logPath) {
    std::vector<std::string> frames;
    std::istringstream log(ReadBytes(logPath));
    for (std::string line; std::getline(log, line);) {
        if (line == kMark) {
            frames.clear();
            continue;
        }
        std::istringstream fields(line);
        std::string field;
        fields >> field;  // the time
        std::string frame;
        while (fields >> field) frame.push_back(static_cast<char>(std::stoi(field, nullptr, 16)));
        if (!frame.empty()) frames.push_back(frame);
    }
    return frames;
}

inline std::size_t LoggedFrameCount(const std::string& logPath) {
    return FramesAfterLastMark(logPath).size();
}

// ---- Small file systems, mounted only by root -------------------------------

// A tmpfs of `kibibytes` on `folder` for the life of the object.
// A path that cannot be opened as a port, and how the reason for it begins.
struct RefusedPath {
    std::string path;
    std::string reason;
};

// Makes, in `folder`, a folder, a regular file, a FIFO, a dangling link and
// names of nothing (one with a control character), and adds /dev/null.
inline std::vector<RefusedPath> MakeRefusedPaths(const std::string& folder) {
    const std::string at = folder + "/";
    std::filesystem::create_directory(at + "folder");
    WriteBytes(at + "plain", "not a terminal");
    mkfifo((at + "fifo").c_str(), 0644);
    std::filesystem::create_symlink(at + "unplugged", at + "dangling");
    return {{at + "folder", "not a serial device: it is a folder"},
            {at + "plain", "not a serial device: it is a regular file"},
            {at + "fifo", "not a serial device: it is a FIFO"},
            {"/dev/null", "not a serial device: it is a device that is not a terminal"},
            {at + "absent", "not present: no such device"},
            {at + "dangling", "not present: it links to " + at + "unplugged, which does not"},
            {at + "tab\tname", "not present"}};
}

class SmallTmpfs {
  public:
    SmallTmpfs(const std::string& folder, int kibibytes) : m_folder(folder) {
        const std::string options = "size=" + std::to_string(kibibytes) + "k,mode=0755";
        if (mount("velmora-faults", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                  options.c_str()) != 0) {
            throw std::system_error(errno, std::generic_category(), "mount tmpfs on " + folder);
        }
    }
    ~SmallTmpfs() {
        if (umount2(m_folder.c_str(), 0) != 0) umount2(m_folder.c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    // Writes a filler file until the file system refuses another byte.
    void Fill() const {
        const int fd = open((m_folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) throw std::runtime_error("cannot create the filler");
        const std::string block(4096, 'x');
        while (write(fd, block.data(), block.size()) > 0) {
        }
        // The last page may still take a few bytes.
        while (write(fd, "x", 1) > 0) {
        }
        close(fd);
    }

    void MakeReadOnly() const {
        if (mount(nullptr, m_folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV,
                  nullptr) != 0) {
            throw std::system_error(errno, std::generic_category(), "remount read-only");
        }
    }

  private:
    std::string m_folder;
};

// Empty when this process may mount file systems; otherwise why not.
inline std::string WhyNoMounts() {
    if (geteuid() != 0) return "mounting a small tmpfs needs root (CI runs as root)";
    char folder[] = "/tmp/velmora-mount-probe-XXXXXX";
    if (mkdtemp(folder) == nullptr) return "no temporary folder for the mount probe";
    std::string why;
    try {
        SmallTmpfs probe(folder, 64);
    } catch (const std::exception& error) {
        why = error.what();
    }
    rmdir(folder);
    return why;
}

// ---- A program left running while the case goes on ----------------------

class BackgroundProgram {
  public:
    BackgroundProgram(std::vector<std::string> words, const std::string& directory) {
        std::vector<char*> argv;
        argv.reserve(words.size() + 1);
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        m_pid = fork();
        if (m_pid < 0) throw std::runtime_error("fork failed");
        if (m_pid == 0) {
            const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
            if (chdir(directory.c_str()) != 0) _exit(126);
            dup2(devNull, STDIN_FILENO);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~BackgroundProgram() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Wait();
        }
    }
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    pid_t Pid() const { return m_pid; }

    // Its exit code; -1 when it did not exit normally.
    int Wait() {
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0) {
            if (errno != EINTR) {
                status = -1;
                break;
            }
        }
        m_pid = -1;
        return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t m_pid = -1;
};

}  // namespace velmora::faults
