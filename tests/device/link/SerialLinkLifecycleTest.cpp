// Opening, restarting, unplugging and closing a link, and what it leaves behind.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "CpuTime.h"
#include "LinkTestSupport.h"

namespace velmora::test {
namespace {

TEST(LifecycleTest, OpenRefusesWhatIsNotAFreeTerminalWithoutAReport) {
    RecordingOwner owner;
    CSerialLink link;
    const std::filesystem::path regular =
        std::filesystem::temp_directory_path() / ("velmora-link-" + std::to_string(getpid()));
    ASSERT_TRUE(std::ofstream(regular).good());

    const std::pair<std::string, int> refused[] = {
        {"/dev/velmora-no-such-port", ENOENT}, {"/tmp", EISDIR}, {regular.string(), ENOTTY}};
    for (const auto& [path, error] : refused) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(OpenLink(link, owner, path, 2));
        EXPECT_EQ(link.OpenError(), error);
        EXPECT_FALSE(link.IsOpen());
        EXPECT_FALSE(link.Start());
    }
    std::filesystem::remove(regular);
    EXPECT_TRUE(owner.Reports().empty());

    PtyDevice device;
    EXPECT_TRUE(OpenLink(link, owner, device.Path(), 2));
    EXPECT_EQ(link.OpenError(), 0);
    EXPECT_TRUE(owner.Reports().empty());
}

TEST(LifecycleTest, HeldDeviceIsRefusedUntilReleased) {
    PtyDevice device;
    RecordingOwner owner;
    CSerialLink holder;
    CSerialLink link;

    ASSERT_TRUE(OpenLink(holder, owner, device.Path(), 1));
    EXPECT_FALSE(OpenLink(link, owner, device.Path(), 1));
    EXPECT_EQ(link.OpenError(), EBUSY);
    holder.Close();
    ASSERT_TRUE(OpenLink(link, owner, device.Path(), 1));
    link.Close();

    // Another program holding the device with a plain lock.
    const int other = open(device.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(OpenLink(link, owner, device.Path(), 1));
    close(other);
    EXPECT_TRUE(OpenLink(link, owner, device.Path(), 1));
    EXPECT_TRUE(owner.Reports().empty());
}

TEST(LifecycleTest, OpenWhileRunningSwitchesToTheNewPortWithOneWorker) {
    PtyDevice first;
    PtyDevice second;
    RecordingOwner owner;
    CSerialLink link;

    ASSERT_TRUE(OpenLink(link, owner, first.Path(), 1));
    ASSERT_TRUE(StartInStep(link, first));
    // Counted with the worker running: the first thread a process creates may
    // bring helper threads of the runtime (a sanitizer's) along with it.
    const int threadsRunning = ThreadCount();
    const std::uint64_t oldGeneration = link.Generation();
    ASSERT_TRUE(OpenLink(link, owner, second.Path(), 2));
    EXPECT_NE(link.Generation(), oldGeneration);
    EXPECT_FALSE(link.IsWorkerAlive());
    ASSERT_TRUE(StartInStep(link, second));
    EXPECT_FALSE(link.Start());  // a link has one worker at most
    EXPECT_TRUE(Eventually([&] { return ThreadCount() == threadsRunning; }))
        << ThreadCount() << " threads, " << threadsRunning << " with one worker";

    // The first port was closed and is free again; only the second one is read.
    CSerialLink other;
    EXPECT_TRUE(OpenLink(other, owner, first.Path(), 1));
    second.Send("B");
    ASSERT_TRUE(owner.WaitForMessages(1));
    const LinkMessage message = owner.Messages().at(0);
    EXPECT_EQ(message.wParam, static_cast<std::uintptr_t>('B'));
    EXPECT_EQ(message.lParam, 2);
    EXPECT_EQ(message.generation, link.Generation());

    link.Close();
    EXPECT_TRUE(Eventually([&] { return ThreadCount() == threadsRunning - 1; }));
}

TEST(LifecycleTest, CloseInAnyStateEndsClosed) {
    RecordingOwner owner;
    {
        CSerialLink neverOpened;
        EXPECT_FALSE(neverOpened.Start());
        neverOpened.QueueWrite(ByteString("lost"), 4);
        const std::uint64_t generation = neverOpened.Generation();
        neverOpened.Close();
        neverOpened.Close();
        EXPECT_FALSE(neverOpened.IsOpen());
        EXPECT_EQ(neverOpened.Generation(), generation + 2);
    }

    PtyDevice device;
    CSerialLink link;
    ASSERT_TRUE(OpenLink(link, owner, device.Path(), 1));
    link.Close();
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.Start());  // the port went with the Close
    link.Close();
    EXPECT_FALSE(link.IsWorkerAlive());
    // A closed port is free for any other opener.
    CSerialLink other;
    EXPECT_TRUE(OpenLink(other, owner, device.Path(), 1));
    EXPECT_TRUE(owner.Reports().empty());
}

TEST(LifecycleTest, UnpluggedDeviceNeitherSpinsNorFloodsAndCloseReturns) {
    RecordingOwner owner;
    CSerialLink link;
    {
        PtyDevice device;
        ASSERT_TRUE(OpenLink(link, owner, device.Path(), 5));
        ASSERT_TRUE(StartInStep(link, device));
        device.Send("A");
        ASSERT_TRUE(owner.WaitForMessages(1));
        device.Unplug();
    }

    // An idle worker takes no CPU; one that keeps waking on the hang-up would
    // take most of this half second.
    const double cpuBefore = CpuSeconds();
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(CpuSeconds() - cpuBefore, 0.15);

    link.QueueWrite(ByteString("frame"), 5);
    ASSERT_TRUE(owner.WaitForReports(1));
    const ErrorReport report = owner.Reports().at(0);
    EXPECT_EQ(report.text, CSerialLink::FormatError("WriteFile()", "Input/output error", 5));
    EXPECT_TRUE(report.fromWorker);

    link.QueueWrite(ByteString("again"), 5);
    EXPECT_FALSE(owner.WaitForReports(2, 300ms));
    EXPECT_EQ(owner.Messages().size(), 1u);

    const auto closeStart = std::chrono::steady_clock::now();
    link.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - closeStart, 2s);
    EXPECT_FALSE(link.IsOpen());

    PtyDevice replacement;
    EXPECT_TRUE(OpenLink(link, owner, replacement.Path(), 5));
}

TEST(LifecycleTest, CloseDuringAFloodReturnsAndNothingArrivesAfterIt) {
    PtyDevice device;
    RecordingOwner owner;
    CSerialLink link;
    ASSERT_TRUE(OpenLink(link, owner, device.Path(), 6));
    ASSERT_TRUE(link.Start());
    const std::uint64_t generation = link.Generation();

    std::atomic<bool> flooding{true};
    std::thread flood([&] {
        const ByteString burst(64, '\x55');
        while (flooding.load()) {
            pollfd room{device.Master(), POLLOUT, 0};
            if (poll(&room, 1, 10) > 0) {
                [[maybe_unused]] const ssize_t n =
                    write(device.Master(), burst.data(), burst.size());
            }
        }
    });
    ASSERT_TRUE(owner.WaitForMessages(500));

    const auto closeStart = std::chrono::steady_clock::now();
    link.Close();
    const auto closeTime = std::chrono::steady_clock::now() - closeStart;
    owner.Seal();
    flooding.store(false);
    flood.join();

    EXPECT_LT(closeTime, 2s);
    EXPECT_EQ(owner.Late(), 0);
    EXPECT_NE(link.Generation(), generation);
    for (const LinkMessage& message : owner.Messages()) {
        ASSERT_EQ(message.generation, generation);
    }
}

TEST(LifecycleTest, CloseCutsOffAWriteTheLineCannotTake) {
    PtyDevice device;
    RecordingOwner owner;
    CSerialLink link;
    // Far more than the line holds, with a write time-out of weeks.
    const ByteString huge(1 << 20, '\x33');
    ASSERT_TRUE(OpenLink(link, owner, device.Path(), 1, kEventMask, static_cast<int>(huge.size())));
    ASSERT_TRUE(StartInStep(link, device));
    link.QueueWrite(huge, static_cast<int>(huge.size()));
    ASSERT_EQ(device.Receive(4096).size(), 4096u);  // the worker is inside the write

    const auto closeStart = std::chrono::steady_clock::now();
    link.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - closeStart, 2s);
    EXPECT_TRUE(owner.Reports().empty());
}

TEST(LifecycleTest, RapidCyclesLeaveNoThreadOrDescriptorBehind) {
    PtyDevice device;
    RecordingOwner owner;
    {
        // One cycle first, so that helper threads a runtime starts along with
        // the process's first thread are in the counts taken before.
        CSerialLink warmUp;
        ASSERT_TRUE(OpenLink(warmUp, owner, device.Path(), 7));
        ASSERT_TRUE(warmUp.Start());
    }
    const int threadsBefore = ThreadCount();
    const int descriptorsBefore = DescriptorCount();
    {
        CSerialLink link;
        for (int cycle = 0; cycle < 200; ++cycle) {
            ASSERT_TRUE(OpenLink(link, owner, device.Path(), 7)) << cycle;
            ASSERT_TRUE(link.Start()) << cycle;
            if (cycle % 2 == 0) link.QueueWrite(ByteString("x"), 1);
            link.Close();
        }
    }
    EXPECT_TRUE(Eventually([&] { return ThreadCount() == threadsBefore; }))
        << ThreadCount() << " threads, " << threadsBefore << " before";
    EXPECT_EQ(DescriptorCount(), descriptorsBefore);
    EXPECT_TRUE(owner.Reports().empty());
}

}  // namespace
}  // namespace velmora::test
