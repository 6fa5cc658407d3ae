// What this process holds, read from /proc/self (Linux): its open descriptors,
// its threads and its resident memory, for the tests and the soak that must
// give back all they take.
#pragma once

#include <dirent.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace velmora::test {

// One descriptor (its number and where it leads) or one thread (its id and name).
struct ProcessEntry {
    std::string name;
    std::string what;
};

namespace detail {

// The entries of /proc/self/fd or /proc/self/task, without the descriptor that
// reads the folder; `describe` says what each is, or nothing when null.
inline std::vector<ProcessEntry> ListEntries(const char* folder, bool descriptors,
                                             std::string (*describe)(const std::string& path)) {
    std::vector<ProcessEntry> entries;
    DIR* dir = opendir(folder);
    if (dir == nullptr) return entries;
    const std::string own = descriptors ? std::to_string(dirfd(dir)) : std::string();
    // This stream is this function's own, so readdir shares no state.
    while (const dirent* entry = readdir(dir)) {  // NOLINT(concurrency-mt-unsafe)
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name == own) continue;
        entries.push_back(
            {name, describe ? describe(std::string(folder) + "/" + name) : std::string()});
    }
    closedir(dir);
    return entries;
}

inline std::string LinkTarget(const std::string& path) {
    std::error_code error;
    return std::filesystem::read_symlink(path, error).string();
}

inline std::string ThreadName(const std::string& path) {
    std::ifstream comm(path + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace detail

inline std::vector<ProcessEntry> OpenDescriptors() {
    return detail::ListEntries("/proc/self/fd", true, detail::LinkTarget);
}
inline std::vector<ProcessEntry> Threads() {
    return detail::ListEntries("/proc/self/task", false, detail::ThreadName);
}
inline int DescriptorCount() {
    return static_cast<int>(detail::ListEntries("/proc/self/fd", true, nullptr).size());
}
inline int ThreadCount() {
    return static_cast<int>(detail::ListEntries("/proc/self/task", false, nullptr).size());
}

// A field of /proc/self/status in kB ("VmRSS:", "VmHWM:"); -1 when missing.
inline long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0)
            return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
    }
    return -1;
}

inline long ResidentKb() {
    return StatusKb("VmRSS:");
}

// Starts a new peak of this process's resident set; VmHWM then reports it.
inline bool ResetPeakRss() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear.flush());
}

// The names of this process's threads and what its descriptors lead to, for
// telling what a case left behind.
inline std::string HoldingsList() {
    std::string list = "threads:";
    for (const ProcessEntry& thread : Threads()) list += " " + thread.what;
    list += "; descriptors:";
    for (const ProcessEntry& fd : OpenDescriptors()) list += " " + fd.name + "->" + fd.what;
    return list;
}

struct ProcessSample {
    int descriptors = 0;
    int threads = 0;
    long residentKb = 0;
    static ProcessSample Now() { return {DescriptorCount(), ThreadCount(), ResidentKb()}; }
};

}  // namespace velmora::test
