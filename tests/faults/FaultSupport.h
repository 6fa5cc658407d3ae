// Shared by the window and command-line fault cases: what the process holds
// (threads, descriptors, memory), paths that are no port, and small file
// systems mounted for a case.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "CpuTime.h"
#include "Files.h"
#include "LinkTestSupport.h"
#include "ProcessSample.h"
#include "Subprocess.h"

namespace velmora::faults {

// The shared test support: processor time, files, the simulator and its log,
// threads and descriptors.
using namespace velmora::test;

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

// Names in `folder` that a failed replacement of a file there could leave.
inline std::vector<std::string> LeftoverTemporaries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".velmora-", 0) == 0) names.push_back(name);
    }
    return names;
}

// The largest resident set of any child waited for so far, in KiB.
inline long ChildrenPeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
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

    // Writes a 75-byte table.dst, then fills the file system up (`full`) or
    // makes it read-only; returns the table's bytes, which no write may change.
    std::string HoldOldTable(bool full) const {
        std::string old(75, '\x2A');
        WriteBytes(m_folder + "/table.dst", old);
        if (full)
            Fill();
        else
            MakeReadOnly();
        return old;
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

}  // namespace velmora::faults
