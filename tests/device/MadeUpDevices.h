// A made-up /dev and /sys below a folder, for the serial device detector: tty
// nodes, their class entries and the device folders with their attributes.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "SerialPorts.h"

namespace velmora::testing {

class MadeUpDevices {
  public:
    explicit MadeUpDevices(std::filesystem::path root) : m_root(std::move(root)) {
        std::filesystem::create_directories(m_root / "dev/serial/by-id");
        std::filesystem::create_directories(m_root / "sys");
    }
    SystemRoots Roots() const {
        return {(m_root / "dev").string(), (m_root / "sys").string(), "/proc"};
    }
    std::string Dev(const std::string& name) const { return (m_root / "dev" / name).string(); }

    // A file below the root holding `text` and a line feed.
    void Write(const std::filesystem::path& file, const std::string& text) const {
        std::filesystem::create_directories((m_root / file).parent_path());
        std::ofstream(m_root / file) << text << "\n";
    }
    void Link(const std::filesystem::path& link, const std::filesystem::path& target) const {
        std::filesystem::create_directories((m_root / link).parent_path());
        std::filesystem::create_symlink(target, m_root / link);
    }
    // A tty node and its class entry; `device` is its folder below sys/devices.
    void Tty(const std::string& name, const std::string& device) const {
        Write(std::filesystem::path("dev") / name, "");
        std::filesystem::create_directories(m_root / "sys/devices" / device);
        Link(std::filesystem::path("sys/class/tty") / name / "device",
             m_root / "sys/devices" / device);
    }
    // A USB device folder below sys/devices with its ids and names.
    void UsbIds(const std::string& device, const std::string& vendor, const std::string& product,
                const std::string& productName) const {
        const std::filesystem::path folder = std::filesystem::path("sys/devices") / device;
        Write(folder / "idVendor", vendor);
        Write(folder / "idProduct", product);
        if (!productName.empty()) Write(folder / "product", productName);
    }

  private:
    std::filesystem::path m_root;
};

}  // namespace velmora::testing
