// The serial link on a pseudo-terminal: how soon a received byte reaches the
// owner, how long Close takes with a running worker, and what an idle link costs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "CpuTime.h"
#include "PtyDevice_unix.h"
#include "SerialLink.h"

namespace {

using namespace velmora;
using velmora::test::CpuSeconds;
using velmora::test::PtyDevice;
using Clock = std::chrono::steady_clock;

class CountingOwner : public ILinkOwner {
  public:
    void PostLinkMessage(const LinkMessage&) override {
        std::lock_guard lock(m_mutex);
        ++m_nReceived;
        m_arrived.notify_one();
    }
    void ReportLinkError(const std::string&, bool, std::uint64_t) override {}

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
    if (!link.Open(&owner, device.Path(), 1, kUploadLine) || !link.Start()) {
        throw std::runtime_error("cannot open the link");
    }
    link.QueueWrite(ByteString("?"), 1);
    if (device.Receive(1).size() != 1) throw std::runtime_error("nothing from the link");
}

void BM_ByteToOwner(benchmark::State& state) {
    PtyDevice device;
    CountingOwner owner;
    CSerialLink link;
    OpenRunning(link, owner, device);
    long sent = 0;
    for (auto _ : state) {
        device.Send(ByteString(1, '\x5A'));
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
