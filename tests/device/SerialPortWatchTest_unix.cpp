// The watch of the serial devices on a made-up /dev: adapters plugged in and
// pulled out while it runs, a burst told as one change, and a prompt stop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "MadeUpDevices.h"
#include "SerialPortWatch.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Kind = SerialDeviceChange::Kind;

// Each call of the watch's callback, as "+path" and "-path" in the order told.
class Calls {
  public:
    void Add(const std::vector<SerialDeviceChange>& changes) {
        std::vector<std::string> call;
        call.reserve(changes.size());
        for (const SerialDeviceChange& change : changes)
            call.push_back((change.kind == Kind::Arrived ? "+" : "-") + change.device.path);
        const std::lock_guard lock(m_mutex);
        m_calls.push_back(call);
        m_added.notify_all();
    }
    // The calls, once there are `count` of them (or after five seconds).
    std::vector<std::vector<std::string>> Await(std::size_t count) {
        std::unique_lock lock(m_mutex);
        m_added.wait_for(lock, 5s, [&] { return m_calls.size() >= count; });
        return m_calls;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_added;
    std::vector<std::vector<std::string>> m_calls;
};

class SerialPortWatchTest : public ::testing::Test {
  protected:
    void TearDown() override { fs::remove_all(m_root); }
    std::string Dev(const std::string& name) const { return m_tree.Dev(name); }
    SerialPortWatch::Callback Record() {
        return [this](const std::vector<SerialDevice>&, const std::vector<SerialDeviceChange>& c) {
            m_calls.Add(c);
        };
    }

    fs::path m_root = fs::temp_directory_path() / ("velmora-watch-" + std::to_string(getpid()));
    testing::MadeUpDevices m_tree{m_root};
    Calls m_calls;
};

TEST_F(SerialPortWatchTest, TellsArrivalsAndDeparturesWithTheStableNamesOfNewFolders) {
    m_tree.Tty("ttyACM0", "usb1/1-3/1-3:1.0");
    // udev makes /dev/serial/by-id at the first adapter plugged in.
    fs::remove_all(m_root / "dev/serial");
    SerialPortWatch watch(m_tree.Roots(), Record(), 50ms);
    ASSERT_EQ(watch.Present().size(), 1U);

    // One plug: the node, then the folders and the link, as one change.
    m_tree.Tty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0");
    m_tree.Link("dev/serial/by-id/usb-FTDI-if00-port0", "../../ttyUSB0");
    const std::string byId = Dev("serial/by-id/usb-FTDI-if00-port0");
    EXPECT_EQ(m_calls.Await(1),
              (std::vector<std::vector<std::string>>{{"+" + byId, "+" + Dev("ttyUSB0")}}));

    // A second link in the folder now watched, then the first adapter pulled.
    m_tree.Link("dev/serial/by-id/usb-ACM-if00", "../../ttyACM0");
    ASSERT_EQ(m_calls.Await(2).size(), 2U);
    fs::remove(m_root / "dev/serial/by-id/usb-FTDI-if00-port0");
    fs::remove(m_root / "dev/ttyUSB0");
    const auto calls = m_calls.Await(3);
    ASSERT_EQ(calls.size(), 3U);
    EXPECT_EQ(calls[1], std::vector<std::string>{"+" + Dev("serial/by-id/usb-ACM-if00")});
    EXPECT_EQ(calls[2], (std::vector<std::string>{"-" + byId, "-" + Dev("ttyUSB0")}));
}

TEST_F(SerialPortWatchTest, StopsAtOnceInTheMiddleOfALongSettleAndIgnoresOtherNodes) {
    auto watch = std::make_unique<SerialPortWatch>(m_tree.Roots(), Record(), 30s);
    m_tree.Write("dev/null0", "");  // wakes the watch, which then settles
    m_tree.Tty("ttyUSB3", "usb1/1-1/1-1:1.0/ttyUSB3");
    std::this_thread::sleep_for(100ms);
    const auto start = std::chrono::steady_clock::now();
    watch.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(m_calls.Await(0).empty());

    // A node that is no serial device is no change.
    SerialPortWatch quick(m_tree.Roots(), Record(), 20ms);
    m_tree.Write("dev/loop7", "");
    std::this_thread::sleep_for(300ms);
    m_tree.Write("dev/ttyACM2", "");
    EXPECT_EQ(m_calls.Await(1), std::vector<std::vector<std::string>>{{"+" + Dev("ttyACM2")}});
}

TEST(CompareDeviceLists, ADescriptionChangedDepartsAndArrivesAgain) {
    const std::vector<SerialDevice> before = {{"/dev/ttyUSB0", "FT232R"}, {"/dev/ttyS0", ""}};
    const std::vector<SerialDevice> after = {{"/dev/ttyUSB0", "CP2102"}, {"/dev/ttyS0", ""}};
    const auto changes = CompareDeviceLists(before, after);
    ASSERT_EQ(changes.size(), 2U);
    EXPECT_EQ(changes[0].kind, Kind::Departed);
    EXPECT_EQ(changes[0].device.description, "FT232R");
    EXPECT_EQ(changes[1].kind, Kind::Arrived);
    EXPECT_EQ(changes[1].device.description, "CP2102");
}

}  // namespace
}  // namespace velmora
