// Reading the start of a file named in UTF-8, on both systems, without ever
// waiting on something that is not a file.
#pragma once

#include <cstddef>
#include <string>

namespace velmora {

enum class ReadOutcome {
    Missing,   // no such file, or no such folder on the way
    Read,      // `out` holds the file's first bytes
    Unusable,  // not a regular file, or no permission, or reading failed
};

// Reads at most `maxBytes` from the start of the regular file `path`. A FIFO,
// a device or a folder chosen by mistake is Unusable at once, never waited on.
ReadOutcome ReadFileStart(const std::string& path, std::size_t maxBytes, std::string& out);

}  // namespace velmora
