// The serial link on a pseudo-terminal: how soon a received byte reaches the
// owner, how long Close takes with a running worker, and what an idle link costs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "SerialLink.h"

namespace {

using namespace velmora;
using Clock = std::chrono::steady_clock;

// The device side of a pseudo-terminal; the link opens the slave.
class PtyDevice {
public:
    PtyDevice() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[64] = {};
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
            ptsname_r(m_master, name, sizeof name) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        m_path = name;
    }
    ~PtyDevice() { close(m_master); }
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    const std::string& Path() const { return m_path; }

    void Send(char byte) const {
        if (write(m_master, &byte, 1) != 1) throw std::runtime_error("write to the master");
    }
    // Waits for one byte from the link.
    char Receive() const {
        pollfd ready{m_master, POLLIN, 0};
        char byte = 0;
        if (poll(&ready, 1, 5000) != 1 || read(m_master, &byte, 1) != 1) {
            throw std::runtime_error("nothing from the link");
        }
        return byte;
    }

private:
    int m_master = -1;
    std::string m_path;
};

class CountingOwner : public ILinkOwner {
public:
    void PostLinkMessage(const LinkMessage&) override {
        std::lock_guard lock(m_mutex);
        ++m_nReceived;
        m_arrived.notify_one();
    }
    void ReportLinkError(const std::string&, bool) override {}

    void WaitFor(long count) {
        std::unique_lock lock(m_mutex);
        m_arrived.wait(lock, [&] { return m_nReceived >= count; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    long m_nReceived = 0;
};

// Opens and starts the link the way the main window does, and waits until the
// worker is past its start-up purge (the first written byte has come through).
void OpenRunning(CSerialLink& link, ILinkOwner& owner, const PtyDevice& device) {
    if (!link.Open(&owner, device.Path(), 1, 1200, 'N', 8, 1, EV_RXCHAR | EV_CTS, 512) ||
        !link.Start()) {
        throw std::runtime_error("cannot open the link");
    }
    link.QueueWrite(ByteString("?"), 1);
    device.Receive();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_ByteToOwner(benchmark::State& state) {
    PtyDevice device;
    CountingOwner owner;
    CSerialLink link;
    OpenRunning(link, owner, device);
    long sent = 0;
    for (auto _ : state) {
        device.Send('\x5A');
        owner.WaitFor(++sent);
    }
    state.SetItemsProcessed(sent);
}
BENCHMARK(BM_ByteToOwner)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_CloseRunningLink(benchmark::State& state) {
    PtyDevice device;
    CountingOwner owner;
    CSerialLink link;
    for (auto _ : state) {
        OpenRunning(link, owner, device);
        const auto start = Clock::now();
        link.Close();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}
BENCHMARK(BM_CloseRunningLink)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The worker sleeps in its wait: an idle second should cost next to no CPU.
void BM_IdleSecondCpu(benchmark::State& state) {
    PtyDevice device;
    CountingOwner owner;
    CSerialLink link;
    OpenRunning(link, owner, device);
    double cpu = 0;
    for (auto _ : state) {
        const double before = CpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        cpu += CpuSeconds() - before;
    }
    state.counters["cpu_ms_per_idle_s"] =
        benchmark::Counter(cpu * 1000.0 / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_IdleSecondCpu)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
