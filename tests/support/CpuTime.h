// Processor time, to tell a program that sleeps through its waits from one that spins.
#pragma once

#include <sys/resource.h>

namespace velmora::test {

// User and system time in seconds: of this process (RUSAGE_SELF), or of its
// children that have been waited for (RUSAGE_CHILDREN).
inline double CpuSeconds(int who = RUSAGE_SELF) {
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace velmora::test
