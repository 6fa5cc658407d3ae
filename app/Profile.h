// The settings profile: an INI file read and written with the private-profile
// rules (section and key names compared without regard to case; other lines kept).
// Plain C++: the window program and the command-line program share it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class Profile {
public:
    explicit Profile(std::string path = {});
    const std::string& Path() const { return m_path; }
    void SetPath(std::string path) { m_path = std::move(path); }

    // Optional sign and leading decimal digits ("12abc" -> 12, "abc" -> 0); the
    // default only when the file, the section or the key is missing.
    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const;
    std::optional<std::string> GetProfileString(std::string_view section,
                                                std::string_view key) const;
    // Creates the file, section or key as needed, keeps every other line, writes
    // through a temporary file and a rename. False when it could not write (the
    // old file is then untouched).
    bool WriteProfileInt(std::string_view section, std::string_view key, int value);

private:
    std::string m_path;
};

// The directory followed by "/Velmora.ini".
std::string ProfilePathIn(const std::string& directory);

// COMn -> the device path: key "COMn" of section "Ports", else /dev/ttyS(n-1).
std::string ComPortPath(const Profile& profile, int portNumber);

}  // namespace velmora
