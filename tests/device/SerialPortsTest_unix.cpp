// The serial devices found in a made-up /dev and /sys, and the reason given for
// a port the system refused to a user without permission.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "MadeUpDevices.h"
#include "PtyDevice_unix.h"
#include "SerialLink.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using testing::MadeUpDevices;

class MadeUpTree : public ::testing::Test {
  protected:
    void TearDown() override { fs::remove_all(m_root); }
    std::string Dev(const std::string& name) const { return m_tree.Dev(name); }

    fs::path m_root = fs::temp_directory_path() / ("velmora-ports-" + std::to_string(getpid()));
    MadeUpDevices m_tree{m_root};
};

TEST_F(MadeUpTree, StableNamesFirstThenAdaptersThenRealBuiltInPortsInNumericOrder) {
    // USB adapters: the tty sits in an interface, the ids a level or two above it.
    m_tree.Tty("ttyUSB10", "usb1/1-2/1-2:1.0/ttyUSB10");
    m_tree.Tty("ttyUSB2", "usb1/1-1/1-1:1.0/ttyUSB2");
    m_tree.UsbIds("usb1/1-1", "0403", "6001", "FT232R");
    m_tree.Write("sys/devices/usb1/1-1/manufacturer", "FTDI");
    m_tree.Tty("ttyACM0", "usb1/1-3/1-3:1.0");
    m_tree.UsbIds("usb1/1-3", "2341", "0043", "");
    m_tree.Link("dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0", "../../ttyUSB2");
    m_tree.Link("dev/serial/by-id/usb-gone-if00-port0", "../../ttyUSB7");  // unplugged

    // Built-in ports: a UART the driver knows, a placeholder without one, a port
    // with a driver but no type, and nodes the device model has never heard of.
    m_tree.Tty("ttyS0", "pnp0/00:01");
    m_tree.Write("sys/class/tty/ttyS0/type", "4");
    m_tree.Tty("ttyS1", "platform/serial8250");
    m_tree.Write("sys/class/tty/ttyS1/type", "0");
    m_tree.Tty("ttyS2", "pci0/0000:03:00.0");
    m_tree.Link("sys/devices/pci0/0000:03:00.0/driver", m_root / "sys/bus/pci/drivers/exar");
    m_tree.Link("sys/devices/pci0/0000:03:00.0/subsystem", m_root / "sys/bus/pci");
    fs::create_directories(m_root / "sys/bus/pci/drivers/exar");
    for (const char* stray : {"dev/ttyS3", "dev/ttySX", "dev/ttyUSB"}) m_tree.Write(stray, "");

    std::vector<std::pair<std::string, std::string>> found;
    for (const SerialDevice& device : ListSerialDevices(m_tree.Roots())) {
        found.emplace_back(device.path, device.description);
    }
    const std::string ftdi = "FTDI FT232R (0403:6001)";
    EXPECT_EQ(found, (std::vector<std::pair<std::string, std::string>>{
                         {Dev("serial/by-id/usb-FTDI_FT232R_A1-if00-port0"),
                          ftdi + ", " + fs::canonical(Dev("ttyUSB2")).string()},
                         {Dev("ttyUSB2"), ftdi},
                         {Dev("ttyUSB10"), ""},
                         {Dev("ttyACM0"), "(2341:0043)"},
                         {Dev("ttyS0"), "UART 16550A"},
                         {Dev("ttyS2"), "exar"}}));

    EXPECT_EQ(DescribePresence(Dev("serial/by-id/usb-gone-if00-port0"), m_tree.Roots()),
              "not present: it links to ../../ttyUSB7, which does not exist (is the adapter "
              "plugged in?)");
    EXPECT_EQ(DescribePresence("/dev/null"),
              "not a serial device: it is a device that is not a terminal");
}

// The system refuses a port only to a user who is not root: the open runs in a
// child that has given up root, as a user outside the device's group.
TEST(OpenFailureTest, NoPermissionNamesTheGroupAndTheCommandThatAddsTheUser) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become a user without permission";
    const test::PtyDevice device;
    const std::string& name = device.Path();
    ASSERT_EQ(chown(name.c_str(), 0, 20), 0);  // Debian's group dialout
    ASSERT_EQ(chmod(name.c_str(), 0660), 0);

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        std::string text = "could not become nobody";
        if (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0) {
            CSerialLink link;
            text = link.Open(nullptr, name, 1, kUploadLine)
                       ? "opened"
                       : DescribeOpenFailure(name, link.OpenError());
        }
        [[maybe_unused]] const ssize_t written = write(pipeFds[1], text.data(), text.size());
        _exit(0);
    }
    close(pipeFds[1]);
    char text[512] = {};
    waitpid(child, nullptr, 0);  // one short write: all of it is in the pipe
    const ssize_t got = read(pipeFds[0], text, sizeof text - 1);
    close(pipeFds[0]);
    EXPECT_GT(got, 0);
    EXPECT_STREQ(text,
                 "no permission: it belongs to group dialout; add yourself with: sudo usermod "
                 "-aG dialout nobody (then log out and in again)");
}

}  // namespace
}  // namespace velmora
