#include "Settings.h"

namespace velmora {

namespace {

constexpr const char* kSettingsSection = "Settings";
constexpr const char* kPortKey = "Port";
constexpr const char* kTimeoutKey = "Timeout";
constexpr const char* kDateOrderKey = "Date Format";
constexpr const char* kEarlyJudgementKey = "Early Judgement";
constexpr const char* kRecordUploadsKey = "Record Uploads";

}  // namespace

Settings ReadSettings(const Profile& profile) {
    const Settings defaults;
    Settings settings;
    settings.port = profile.GetProfileInt(kSettingsSection, kPortKey, defaults.port);
    settings.timeoutMs = profile.GetProfileInt(kSettingsSection, kTimeoutKey, defaults.timeoutMs);
    // Any non-zero value is month first, held as 1: the Settings dialog then
    // sees no change of order where there is none, and swaps no row.
    settings.dateOrder =
        profile.GetProfileInt(kSettingsSection, kDateOrderKey, defaults.dateOrder) != 0 ? 1 : 0;
    settings.earlyJudgement = profile.GetProfileInt(kSettingsSection, kEarlyJudgementKey,
                                                    defaults.earlyJudgement ? 1 : 0) != 0;
    settings.recordUploads = profile.GetProfileInt(kSettingsSection, kRecordUploadsKey,
                                                   defaults.recordUploads ? 1 : 0) != 0;
    return settings;
}

bool WriteSettings(Profile& profile, const Settings& settings) {
    bool written = profile.WriteProfileInt(kSettingsSection, kTimeoutKey, settings.timeoutMs);
    written = profile.WriteProfileInt(kSettingsSection, kPortKey, settings.port) && written;
    written =
        profile.WriteProfileInt(kSettingsSection, kDateOrderKey, settings.dateOrder) && written;
    written = profile.WriteProfileInt(kSettingsSection, kEarlyJudgementKey,
                                      settings.earlyJudgement ? 1 : 0) &&
              written;
    // On by default: a profile that never turned the record off gains no line.
    if (settings.recordUploads &&
        !profile.GetProfileString(kSettingsSection, kRecordUploadsKey).has_value())
        return written;
    return profile.WriteProfileInt(kSettingsSection, kRecordUploadsKey,
                                   settings.recordUploads ? 1 : 0) &&
           written;
}

ComPortPaths ReadComPortPaths(const Profile& profile) {
    ComPortPaths paths;
    for (int port = 1; port <= kComPortCount; ++port)
        paths[static_cast<std::size_t>(port - 1)] = ComPortPath(profile, port);
    return paths;
}

std::string ComPortPathOf(const ComPortPaths& paths, int portNumber) {
    if (portNumber < 1 || portNumber > kComPortCount) return DefaultComPortPath(portNumber);
    return paths[static_cast<std::size_t>(portNumber - 1)];
}

ComPortPaths WithDefaultComPortPaths(ComPortPaths paths) {
    for (int port = 1; port <= kComPortCount; ++port) {
        std::string& path = paths[static_cast<std::size_t>(port - 1)];
        if (path.empty()) path = DefaultComPortPath(port);
    }
    return paths;
}

bool WriteComPortPaths(Profile& profile, const ComPortPaths& paths, const ComPortPaths& before) {
    bool written = true;
    for (int port = 1; port <= kComPortCount; ++port) {
        const auto index = static_cast<std::size_t>(port - 1);
        if (paths[index] != before[index])
            written = SetComPortPath(profile, port, paths[index]) && written;
    }
    return written;
}

bool IsComPortMapped(const Profile& profile, int portNumber) {
    return profile.GetProfileString("Ports", "COM" + std::to_string(portNumber)).has_value();
}

}  // namespace velmora
