// The serial devices found in a made-up /dev and /sys, and the reason given for
// a port the system refused to a user without permission.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "SerialLink.h"
#include "SerialPorts.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

class MadeUpTree : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("velmora-ports-" + std::to_string(getpid()));
        fs::remove_all(m_root);
        m_roots = {(m_root / "dev").string(), (m_root / "sys").string(), "/proc"};
        fs::create_directories(m_root / "dev" / "serial" / "by-id");
    }
    void TearDown() override { fs::remove_all(m_root); }

    void Write(const fs::path& file, const std::string& text) const {
        fs::create_directories((m_root / file).parent_path());
        std::ofstream(m_root / file) << text << "\n";
    }
    void Link(const fs::path& link, const fs::path& target) const {
        fs::create_directories((m_root / link).parent_path());
        fs::create_symlink(target, m_root / link);
    }
    // A tty node and its class entry; `device` is its device folder below sys/devices.
    void Tty(const std::string& name, const std::string& device) const {
        Write(fs::path("dev") / name, "");
        Link(fs::path("sys/class/tty") / name / "device", m_root / "sys/devices" / device);
        fs::create_directories(m_root / "sys/devices" / device);
    }
    std::string Dev(const std::string& name) const { return (m_root / "dev" / name).string(); }

    fs::path m_root;
    SystemRoots m_roots;
};

TEST_F(MadeUpTree, StableNamesFirstThenAdaptersThenRealBuiltInPortsInNumericOrder) {
    // An FTDI adapter: the tty sits in the interface, the ids one level above it.
    Tty("ttyUSB10", "usb1/1-2/1-2:1.0/ttyUSB10");
    Tty("ttyUSB2", "usb1/1-1/1-1:1.0/ttyUSB2");
    for (const auto& [attribute, value] : {std::pair{"idVendor", "0403"},
                                           {"idProduct", "6001"},
                                           {"manufacturer", "FTDI"},
                                           {"product", "FT232R"}}) {
        Write(fs::path("sys/devices/usb1/1-1") / attribute, value);
    }
    Tty("ttyACM0", "usb1/1-3/1-3:1.0");
    Write("sys/devices/usb1/1-3/idVendor", "2341");
    Write("sys/devices/usb1/1-3/idProduct", "0043");
    Link("dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0", "../../ttyUSB2");
    Link("dev/serial/by-id/usb-gone-if00-port0", "../../ttyUSB7");  // unplugged: left out

    // Built-in ports: a UART the driver knows, a placeholder without one, a port
    // with a driver but no type, and a node the device model has never heard of.
    Tty("ttyS0", "pnp0/00:01");
    Write("sys/class/tty/ttyS0/type", "4");
    Tty("ttyS1", "platform/serial8250");
    Write("sys/class/tty/ttyS1/type", "0");
    Tty("ttyS2", "pci0/0000:03:00.0");
    Link("sys/devices/pci0/0000:03:00.0/driver", m_root / "sys/bus/pci/drivers/exar_serial");
    Link("sys/devices/pci0/0000:03:00.0/subsystem", m_root / "sys/bus/pci");
    fs::create_directories(m_root / "sys/bus/pci/drivers/exar_serial");
    Write("dev/ttyS3", "");
    Write("dev/ttySX", "");
    Write("dev/ttyUSB", "");

    std::vector<std::pair<std::string, std::string>> found;
    for (const SerialDevice& device : ListSerialDevices(m_roots)) {
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
                         {Dev("ttyS2"), "exar_serial"}}));
}

TEST_F(MadeUpTree, PathsThatAreNoDeviceAreShownAsSuch) {
    Link("dev/serial/by-id/usb-gone", "../../ttyUSB7");
    EXPECT_EQ(DescribePresence(Dev("serial/by-id/usb-gone"), m_roots),
              "not present: it links to ../../ttyUSB7, which does not exist (is the adapter "
              "plugged in?)");
    EXPECT_EQ(DescribePresence(Dev("serial"), m_roots), "not a serial device: it is a folder");
    EXPECT_EQ(DescribePresence("/dev/null", {}),
              "not a serial device: it is a device that is not a terminal");
    EXPECT_EQ(ShownPath("/dev/tty\nS0\x7f"), "/dev/tty\\x0aS0\\x7f");
}

// The system refuses a port only to a user who is not root: the open runs in a
// child that has given up root, as a user outside the device's group.
TEST(OpenFailureTest, NoPermissionNamesTheGroupAndTheCommandThatAddsTheUser) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become a user without permission";
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[64] = {};
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 &&
                ptsname_r(master, name, sizeof name) == 0);
    group entry{};
    group* dialout = nullptr;
    char names[4096];
    getgrnam_r("dialout", &entry, names, sizeof names, &dialout);
    const gid_t gid = dialout ? dialout->gr_gid : 20;
    ASSERT_EQ(chown(name, 0, gid), 0);
    ASSERT_EQ(chmod(name, 0660), 0);

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
    std::string text;
    char buffer[512];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);
    close(master);

    const std::string group = dialout ? "dialout" : "20";
    EXPECT_EQ(text, "no permission: it belongs to group " + group +
                        "; add yourself with: sudo usermod -aG " + group + " nobody" +
                        " (then log out and in again)");
}

}  // namespace
}  // namespace velmora
