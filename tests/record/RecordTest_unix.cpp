// Where Linux keeps the record, and the USB adapter behind a tty as a made-up
// device model shows it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "AdapterIdentity.h"
#include "Files.h"
#include "RecordFile.h"
#include "TempDir.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// The test changes the environment while no other thread runs.
// NOLINTBEGIN(concurrency-mt-unsafe)
TEST(RecordPathTest, StateHomeOrTheHomeFolder) {
    const std::string home = getenv("HOME") ? getenv("HOME") : "";
    const std::string state = getenv("XDG_STATE_HOME") ? getenv("XDG_STATE_HOME") : "";
    setenv("HOME", "/home/tech", 1);
    setenv("XDG_STATE_HOME", "/var/state", 1);
    EXPECT_EQ(DefaultRecordPath(), "/var/state/velmora/uploads.jsonl");
    setenv("XDG_STATE_HOME", "relative/is/ignored", 1);
    EXPECT_EQ(DefaultRecordPath(), "/home/tech/.local/state/velmora/uploads.jsonl");
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(DefaultRecordPath(), "/home/tech/.local/state/velmora/uploads.jsonl");
    setenv("HOME", home.c_str(), 1);
    if (!state.empty()) setenv("XDG_STATE_HOME", state.c_str(), 1);
}
// NOLINTEND(concurrency-mt-unsafe)

TEST(RecordPathTest, FoldersMadeForTheRecordAreTheUsersAlone) {
    test::TempDir dir("velmora-state-");
    fs::permissions(dir.Path(),
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    ASSERT_TRUE(AppendUploadRecord(dir.File("state/velmora/uploads.jsonl"), {}));
    EXPECT_EQ(fs::status(dir.File("state")).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(dir.File("state/velmora")).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(dir.Path()).permissions(),
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

TEST(AdapterIdentityTest, TheUsbDeviceAboveTheTtyThroughItsStableName) {
    test::TempDir dir("velmora-sysfs-");
    const fs::path root = dir.Path();
    const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-2";
    fs::create_directories(usb / "1-2:1.0/ttyUSB7/tty/ttyUSB7");
    test::WriteBytes((usb / "idVendor").string(), "0403\n");
    test::WriteBytes((usb / "idProduct").string(), "6001\n");
    test::WriteBytes((usb / "serial").string(), "A10K3Z\n");
    test::WriteBytes((usb / "manufacturer").string(), "Maker Ltd \n");
    fs::create_directories(root / "sys/class/tty/ttyUSB7");
    fs::create_directory_symlink(usb / "1-2:1.0/ttyUSB7", root / "sys/class/tty/ttyUSB7/device");
    // A built-in port: no USB device above it.
    fs::create_directories(root / "sys/devices/platform/serial8250/tty/ttyS0");
    fs::create_directories(root / "sys/class/tty/ttyS0");
    fs::create_directory_symlink(root / "sys/devices/platform/serial8250",
                                 root / "sys/class/tty/ttyS0/device");
    fs::create_directories(root / "dev/serial/by-id");
    test::WriteBytes((root / "dev/ttyUSB7").string(), "");
    test::WriteBytes((root / "dev/ttyS0").string(), "");
    fs::create_symlink("../../ttyUSB7", root / "dev/serial/by-id/usb-Maker_Ltd_A10K3Z-if00");

    const std::string sys = (root / "sys").string();
    AdapterIdentity expected;
    expected.vendorId = "0403";
    expected.productId = "6001";
    expected.serial = "A10K3Z";
    expected.maker = "Maker Ltd";  // no product string: left out
    EXPECT_EQ(IdentifyAdapter((root / "dev/serial/by-id/usb-Maker_Ltd_A10K3Z-if00").string(), sys),
              expected);
    EXPECT_TRUE(IdentifyAdapter((root / "dev/ttyS0").string(), sys).Empty());
    EXPECT_TRUE(IdentifyAdapter((root / "dev/ttyUSB9").string(), sys).Empty());
}

}  // namespace
}  // namespace velmora
