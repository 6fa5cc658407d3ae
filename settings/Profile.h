// The settings profile: an INI file read and written with the private-profile
// rules (section and key names compared without regard to case; other lines kept).
// Plain C++: the window program and the command-line program share it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace velmora {

class Profile {
  public:
    explicit Profile(std::string path = {});
    // A profile held in memory instead of a file, starting as `text`: reads and
    // writes follow the same rules, and Text() gives what a file would hold.
    static Profile InMemory(std::string text);

    const std::string& Path() const { return m_path; }
    void SetPath(std::string path) { m_path = std::move(path); }
    // The text of a profile held in memory; null for a file.
    const std::string* Text() const { return m_memory ? &*m_memory : nullptr; }

    // Optional sign and leading decimal digits ("12abc" -> 12, "abc" -> 0); the
    // default when the file, the section or the key is missing or the value is empty.
    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const;
    // The value with one pair of matching quotes ("..." or '...') removed.
    std::optional<std::string> GetProfileString(std::string_view section,
                                                std::string_view key) const;

    // Writes create the file, section or key as needed, keep every other line,
    // the byte-order mark and the line ends, and go through a temporary file and
    // a rename. False when it could not write (the old file is then untouched).
    bool WriteProfileInt(std::string_view section, std::string_view key, int value);
    // The value is quoted when it would not read back as it is; a value holding
    // a line break or a NUL, or a name the reader could not find, is refused.
    bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value);
    // Removes the key from the first section of that name; true also when the
    // key was not there (the file is then left as it is).
    bool DeleteProfileKey(std::string_view section, std::string_view key);

    // The whole stored text, as a write replaces it; false when it could not.
    bool Store(std::string_view text);
    // Why the last write that failed could not write: the system's reason, or
    // what about the file kept it from being rewritten. Empty before any failure.
    const std::string& WriteError() const { return m_writeError; }
    bool RefuseWrite(std::string why) {
        m_writeError = std::move(why);
        return false;
    }

  private:
    std::string m_path;
    std::optional<std::string> m_memory;
    std::string m_writeError;
};

// The directory followed by "Velmora.ini", joined with the system's separator.
std::string ProfilePathIn(const std::string& directory);
// How a line ends that a write adds to a file without lines: "\n" on Linux,
// "\r\n" on Windows.
std::string_view NewProfileLineEnding();

// COMn -> the device path: key "COMn" of section "Ports", else the default.
// A ';' that starts the value or follows a blank starts a comment; the path
// may be quoted.
std::string ComPortPath(const Profile& profile, int portNumber);
// The default device of COMn: /dev/ttyS(n-1) on Linux, the port COMn itself on
// Windows. A port outside 1..8 names a device that does not exist and simply
// fails to open.
std::string DefaultComPortPath(int portNumber);
// Stores the path as key "COMn" of "Ports", or removes the key when the path is
// empty or the default. False when it could not write or the path cannot be stored.
bool SetComPortPath(Profile& profile, int portNumber, std::string_view path);

}  // namespace velmora
