// What each system does for the record file (RecordFile_unix.cpp,
// RecordFile_win.cpp); RecordFile.cpp builds the shared part on it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::record_detail {

// The program's folder for state kept between runs ("~/.local/state/velmora");
// empty, with the reason, when the system names none.
std::string StateFolder(std::string& reason);

// Appends `line` to the file `path` as RecordFile.h describes, moving the file
// to `older` first when the line would take it past `limit`. The folder exists.
bool AppendLocked(const std::string& path, const std::string& older, std::string_view line,
                  std::uint64_t limit, std::string& reason);

}  // namespace velmora::record_detail
