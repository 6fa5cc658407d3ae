// The values of Velmora.ini that the window and velmora-cli share: section
// "Settings" (port, reply timeout, date order, early judgement, the record of
// uploads) and the COM port
// mapping of section "Ports". The keys and their defaults live here only.
#pragma once

#include <array>
#include <string>

#include "DateTable.h"
#include "Profile.h"

namespace velmora {

// COM1 to COM8.
constexpr int kComPortCount = 8;
using ComPortPaths = std::array<std::string, kComPortCount>;

struct Settings {
    int port = 1;          // "Port": the COM port number
    int timeoutMs = 1000;  // "Timeout": the reply timer, in milliseconds
    DateOrder dateOrder =
        0;  // "Date Format": 0 is day first, any other value month first (read as 1)
    bool earlyJudgement = false;  // "Early Judgement": nonzero judges an answer once it is quiet
    bool recordUploads = true;    // "Record Uploads": 0 keeps no record of uploads
};

// A missing key gives its default.
Settings ReadSettings(const Profile& profile);
// Writes every key in a fixed order; false when one could not be written.
// "Record Uploads" is written only when it is off or already there, so that a
// profile that never turned the record off stays as it was.
bool WriteSettings(Profile& profile, const Settings& settings);

// The device of each COM port (see ComPortPath). Read once at start-up and held
// with the other settings: an exchange never reads the profile.
ComPortPaths ReadComPortPaths(const Profile& profile);
// The device of COMn by a mapping read before; a port outside COM1 to COM8 has
// its default device.
std::string ComPortPathOf(const ComPortPaths& paths, int portNumber);
// The devices to use after the Settings dialog's OK: an emptied Device field,
// an empty path, stands for the port's default device.
ComPortPaths WithDefaultComPortPaths(ComPortPaths paths);
// Writes only the ports whose path differs from `before`, so a mapping left
// alone keeps its line as it was, comment included. False when one failed.
bool WriteComPortPaths(Profile& profile, const ComPortPaths& paths, const ComPortPaths& before);
// Whether "[Ports]" holds a key for COMn.
bool IsComPortMapped(const Profile& profile, int portNumber);

}  // namespace velmora
