// Files named in UTF-8, as every string of the program is, on both systems.
//
// Replacing a file's whole contents so that a failure at any point leaves the
// old file as it was: the new contents go to a temporary file in the same
// folder, are flushed to disk, and the temporary file then takes the old one's
// place in one step. A read-only file is never replaced, although the
// replacement alone would allow it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace velmora {

// The name as the standard library's file system and streams take it: on
// Windows the UTF-8 bytes become UTF-16, so that "C:\Users\Zoë\x.dst" is found.
inline std::filesystem::path FileSystemPath(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// True when `path` (through any symbolic link) is an existing read-only file.
bool IsReadOnlyFile(const std::string& path);

// Why a replacement failed, and where the contents are when neither file is
// under the name. That happens on Windows alone: the system may have moved the
// old file aside before the new one could take its name, and then every move
// into the name failed too. Both files are then kept, under these names.
struct ReplaceFailure {
    std::string reason;   // in the system's words ("Permission denied", "the file is read-only")
    std::string newFile;  // the new contents; empty when the name holds the old file
    std::string oldFile;  // the file as it was, when the system had moved it aside
};

// Returns false when the contents could not be put in place or the file is
// read-only; `path` then holds the file as it was (or still no file) and no
// temporary file remains, except as `failure` names them (see ReplaceFailure).
// A symbolic link is written through and stays a link. On Linux the file keeps
// its permissions and, as far as this process may set them, its owner and
// group (a new file gets the usual 0666 less umask). On Windows the file's
// attributes are kept, and names longer than MAX_PATH (260) work.
bool ReplaceFileContents(const std::string& path, std::string_view bytes,
                         ReplaceFailure* failure = nullptr);

}  // namespace velmora
