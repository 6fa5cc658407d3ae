#include "Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>
#include <vector>

#include "../table/ReplaceFile.h"

// The profile's text format:
//   - "[Name]" opens a section; a line starting with '[' but lacking ']' is skipped.
//   - "key=value" belongs to the section above it; key names and values are
//     trimmed of blanks, and a '\r' before the '\n' is part of the line ending.
//   - Lines starting with ';' or '#', lines without '=' or with an empty key,
//     and keys above the first section are skipped.
//   - Section and key names are compared without regard to ASCII case. The
//     first matching key in file order wins (a section may appear twice), a
//     write changes that same line, and a new key goes to the end of the first
//     section of that name, after its last non-blank line.
// Only the first 1 MiB of a file is read, so a huge file cannot stall the
// program; a write refuses a longer file rather than drop its tail.

namespace velmora {

namespace {

constexpr std::size_t kMaxProfileBytes = std::size_t{1} << 20;

enum class FileState { Missing, Read, Unusable };

struct ProfileText {
    FileState state = FileState::Missing;
    std::string text;
};

ProfileText LoadProfile(const std::string& path) {
    ProfileText result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) result.state = FileState::Unusable;
        return result;
    }
    result.state = FileState::Unusable;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        // Read piece by piece, so that a short file costs a short buffer, up to
        // one byte past the cap, which tells a file that is too long from one that fits.
        std::string text;
        char piece[4096];
        bool failed = false;
        while (text.size() <= kMaxProfileBytes) {
            const std::size_t wanted = std::min(sizeof piece, kMaxProfileBytes + 1 - text.size());
            const ssize_t got = ::read(fd, piece, wanted);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                failed = got < 0;
                break;
            }
            text.append(piece, static_cast<std::size_t>(got));
        }
        if (!failed) {
            result.text = std::move(text);
            result.state = FileState::Read;
        }
    }
    ::close(fd);
    return result;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

// Optional blanks, an optional sign and the leading decimal digits; no digits
// give 0, and a number beyond int's range is clamped to INT_MIN or INT_MAX.
int ParseLeadingInt(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    long long magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1) break;
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// One line of the file, with its ending ("\n", "\r\n" or none) kept apart.
struct Line {
    std::string_view body;
    std::string_view ending;
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view whole =
            text.substr(0, newline == std::string_view::npos ? text.size() : newline + 1);
        text.remove_prefix(whole.size());
        std::size_t bodySize = whole.size();
        if (bodySize > 0 && whole[bodySize - 1] == '\n') --bodySize;
        if (bodySize > 0 && whole[bodySize - 1] == '\r') --bodySize;
        lines.push_back({whole.substr(0, bodySize), whole.substr(bodySize)});
    }
    return lines;
}

struct ParsedLine {
    enum Kind { Skipped, Section, Key } kind = Skipped;
    std::string_view name;
    std::string_view value;
    std::size_t valueStart = 0;  // in the body: just past the '='
};

ParsedLine ParseLine(std::string_view body) {
    const std::string_view text = Trim(body);
    if (text.empty() || text.front() == ';' || text.front() == '#') return {};
    if (text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return {};
        return {ParsedLine::Section, Trim(text.substr(1, close - 1)), {}, 0};
    }
    const std::size_t equals = body.find('=');
    if (equals == std::string_view::npos) return {};
    const std::string_view name = Trim(body.substr(0, equals));
    if (name.empty()) return {};
    return {ParsedLine::Key, name, Trim(body.substr(equals + 1)), equals + 1};
}

// Where a key is, or where it would go.
struct KeyPlace {
    std::optional<std::size_t> keyLine;     // the line holding the key
    std::optional<std::size_t> sectionEnd;  // last non-blank line of the first matching section
};

KeyPlace FindKey(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    KeyPlace place;
    bool inSection = false;
    bool inFirstSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(lines[i].body);
        if (parsed.kind == ParsedLine::Section) {
            inSection = SameName(parsed.name, section);
            inFirstSection = inSection && !place.sectionEnd;
            if (inFirstSection) place.sectionEnd = i;
            continue;
        }
        if (inFirstSection && !Trim(lines[i].body).empty()) place.sectionEnd = i;
        if (inSection && parsed.kind == ParsedLine::Key && SameName(parsed.name, key)) {
            place.keyLine = i;
            return place;
        }
    }
    return place;
}

}  // namespace

Profile::Profile(std::string path) : m_path(std::move(path)) {}

std::optional<std::string> Profile::GetProfileString(std::string_view section,
                                                     std::string_view key) const {
    const ProfileText file = LoadProfile(m_path);
    if (file.state != FileState::Read) return std::nullopt;
    // Past the cap only whole lines that fit are parsed.
    std::string_view text = file.text;
    if (text.size() > kMaxProfileBytes)
        text = text.substr(0, text.rfind('\n', kMaxProfileBytes - 1) + 1);
    const std::vector<Line> lines = SplitLines(text);
    const KeyPlace place = FindKey(lines, section, key);
    if (!place.keyLine) return std::nullopt;
    return std::string(ParseLine(lines[*place.keyLine].body).value);
}

int Profile::GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const {
    const std::optional<std::string> value = GetProfileString(section, key);
    return value ? ParseLeadingInt(*value) : defaultValue;
}

bool Profile::WriteProfileInt(std::string_view section, std::string_view key, int value) {
    if (m_path.empty()) return false;
    const ProfileText file = LoadProfile(m_path);
    if (file.state == FileState::Unusable || file.text.size() > kMaxProfileBytes) return false;

    const std::vector<Line> lines = SplitLines(file.text);
    // New lines follow the file's own line ending.
    const std::string_view eol = !lines.empty() && lines.front().ending == "\r\n" ? "\r\n" : "\n";
    const KeyPlace place = FindKey(lines, section, key);

    std::string out;
    out.reserve(file.text.size() + section.size() + key.size() + 32);
    // Only a last line that lacks its ending can leave `out` mid-line. A lone
    // '\r' that ends the file is already that line's ending as the reader sees
    // it, so it only needs its '\n'; "\r\r\n" would put a '\r' into the line.
    const auto startLine = [&] {
        if (out.empty() || out.back() == '\n') return;
        out += out.back() == '\r' ? std::string_view("\n") : eol;
    };
    const std::string valueText = std::to_string(value);
    const std::string keyLine = std::string(key) + "=" + valueText + std::string(eol);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (place.keyLine == i) {
            out.append(line.body.substr(0, ParseLine(line.body).valueStart)).append(valueText);
        } else {
            out.append(line.body);
        }
        out.append(line.ending);
        if (!place.keyLine && place.sectionEnd == i) {
            startLine();
            out += keyLine;
        }
    }
    if (!place.keyLine && !place.sectionEnd) {
        startLine();
        out.append("[").append(section).append("]").append(eol).append(keyLine);
    }
    return ReplaceFileContents(m_path, out);
}

std::string ProfilePathIn(const std::string& directory) {
    return directory + "/Velmora.ini";
}

std::string ComPortPath(const Profile& profile, int portNumber) {
    const std::optional<std::string> configured =
        profile.GetProfileString("Ports", "COM" + std::to_string(portNumber));
    if (configured && !configured->empty()) return *configured;
    // Widened so that any int maps without overflow; a port outside 1..8 names
    // a device that does not exist and simply fails to open.
    return "/dev/ttyS" + std::to_string(static_cast<long long>(portNumber) - 1);
}

}  // namespace velmora
