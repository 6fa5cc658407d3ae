#include "Profile.h"

namespace velmora {

// On Windows COMn is the port itself; the link opens it as \\.\COMn.
std::string DefaultComPortPath(int portNumber) {
    return "COM" + std::to_string(portNumber);
}

// The folder as the system names it ("C:\Users\ana\Documents\Velmora"), or as
// Qt does ("C:/Users/..."): the file's name follows with the folder's own kind
// of separator.
std::string ProfilePathIn(const std::string& directory) {
    const bool forward = directory.find('/') != std::string::npos;
    const bool ended = directory.ends_with('/') || directory.ends_with('\\');
    return directory + (ended ? "" : forward ? "/" : "\\") + "Velmora.ini";
}

// Windows' own programs end the lines of a settings file with CR LF.
std::string_view NewProfileLineEnding() {
    return "\r\n";
}

}  // namespace velmora
