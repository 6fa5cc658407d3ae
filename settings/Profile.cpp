#include "Profile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>
#include <vector>

#include "ProfileLines.h"
#include "ReadFile.h"
#include "ReplaceFile.h"

// The profile's text format:
//   - A UTF-8 byte-order mark that starts the file is skipped; writes keep it.
//   - A line ends at "\r\n", "\n" or a lone "\r"; a line a write adds ends as
//     the file's first line does (the system's own line end when it has none).
//   - "[Name]" opens a section; a line starting with '[' but lacking ']' is skipped.
//   - "key=value" belongs to the section above it; key names and values are
//     trimmed of blanks, and one pair of matching quotes ("..." or '...') around
//     a value is removed when it is read.
//   - Lines starting with ';' or '#', lines without '=' or with an empty key,
//     and keys above the first section are skipped.
//   - Section and key names are compared without regard to ASCII case. Only the
//     first section of a name counts: a later one of the same name is neither
//     read nor written. In it the first matching key wins, a write changes that
//     same line, and a new key goes to the end of the section, after its last
//     non-blank line.
//   - In a "[Ports]" value a ';' that starts it or follows a blank starts a comment.
// Only the first 1 MiB of a file is read, so a huge file cannot stall the
// program; a write refuses a longer file rather than drop its tail.

namespace velmora {

namespace {

using namespace profile;

constexpr std::size_t kMaxProfileBytes = std::size_t{1} << 20;

enum class FileState { Missing, Read, Unusable };

struct ProfileText {
    FileState state = FileState::Missing;
    std::string text;
};

ProfileText LoadProfileFile(const std::string& path) {
    ProfileText result;
    // One byte past the cap tells a file that is too long from one that fits.
    switch (ReadFileStart(path, kMaxProfileBytes + 1, result.text)) {
        case ReadOutcome::Missing:
            result.state = FileState::Missing;
            break;
        case ReadOutcome::Read:
            result.state = FileState::Read;
            break;
        case ReadOutcome::Unusable:
            result.state = FileState::Unusable;
            break;
    }
    return result;
}

// Only the first kMaxProfileBytes + 1 bytes count, as with a file.
ProfileText LoadProfile(const Profile& profile) {
    if (const std::string* text = profile.Text())
        return {FileState::Read, text->substr(0, kMaxProfileBytes + 1)};
    return LoadProfileFile(profile.Path());
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

// The key's value as it stands in the file, trimmed but not unquoted. The
// lines are read one by one, by the rules of FindKey, without keeping them.
std::optional<std::string> ReadStoredValue(const Profile& profile, std::string_view section,
                                           std::string_view key) {
    ProfileText file;
    std::string_view text;
    if (const std::string* memory = profile.Text()) {
        text = *memory;
    } else {
        file = LoadProfileFile(profile.Path());
        if (file.state != FileState::Read) return std::nullopt;
        text = file.text;
    }
    // Past the cap only whole lines that fit are parsed.
    if (text.size() > kMaxProfileBytes)
        text = text.substr(0, text.find_last_of("\r\n", kMaxProfileBytes - 1) + 1);
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    bool inSection = false;
    while (!text.empty()) {
        const ParsedLine parsed = ParseLine(NextLine(text).body);
        if (parsed.kind == ParsedLine::Section) {
            if (inSection) break;  // the first section of that name ended
            inSection = SameName(parsed.name, section);
        } else if (inSection && parsed.kind == ParsedLine::Key && SameName(parsed.name, key)) {
            return std::string(parsed.value);
        }
    }
    return std::nullopt;
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// One pair of matching quotes around the value is removed.
std::string_view Unquote(std::string_view stored) {
    if (stored.size() >= 2 && IsQuote(stored.front()) && stored.back() == stored.front())
        return stored.substr(1, stored.size() - 2);
    return stored;
}

// A "[Ports]" value: a ';' that starts the value or follows a blank starts a
// comment (in a quoted path, only after its closing quote); then the quotes
// are removed.
std::string_view PortsValue(std::string_view stored) {
    std::size_t from = 0;
    if (!stored.empty() && IsQuote(stored.front())) {
        const std::size_t close = stored.find(stored.front(), 1);
        if (close != std::string_view::npos) from = close + 1;
    }
    for (std::size_t i = from; i < stored.size(); ++i) {
        if (stored[i] == ';' && (i == 0 || IsBlank(stored[i - 1]))) {
            stored = stored.substr(0, i);
            break;
        }
    }
    return Unquote(Trim(stored));
}

// The text to store so that `read` gives the value back: the value itself, or
// the value in double or in single quotes. None when no such text exists, or
// the value holds a line break or a NUL.
std::optional<std::string> StoredText(std::string_view value,
                                      std::string_view (*read)(std::string_view)) {
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return std::nullopt;
    for (const std::string_view quote : {"", "\"", "'"}) {
        std::string text = std::string(quote).append(value).append(quote);
        if (read(Trim(text)) == value) return text;
    }
    return std::nullopt;
}

// Names that a written line can be found by again.
bool Findable(std::string_view section, std::string_view key) {
    const auto plain = [](std::string_view name) {
        return !name.empty() && Trim(name) == name &&
               std::none_of(name.begin(), name.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    };
    return plain(section) && plain(key) && section.find(']') == std::string_view::npos &&
           key.find('=') == std::string_view::npos && key.front() != ';' && key.front() != '#' &&
           key.front() != '[';
}

// Sets the key to `storedValue` as it is to stand in the file, or removes it
// when `storedValue` is null.
bool RewriteProfile(Profile& profile, std::string_view section, std::string_view key,
                    const std::string* storedValue) {
    if ((profile.Path().empty() && !profile.Text()) || !Findable(section, key)) return false;
    const ProfileText file = LoadProfile(profile);
    if (file.state == FileState::Unusable)
        return profile.RefuseWrite("it is not a file that can be read");
    if (file.text.size() > kMaxProfileBytes)
        return profile.RefuseWrite("it is larger than a settings file can be (" +
                                   std::to_string(kMaxProfileBytes) + " bytes)");

    const Document document = ParseDocument(file.text);
    const std::vector<Line>& lines = document.lines;
    const KeyPlace place = FindKey(lines, section, key);
    if (!storedValue && place.keyLines.empty()) return true;  // nothing to remove
    const bool adding = storedValue && place.keyLines.empty();
    const std::string_view eol = !lines.empty() && !lines.front().ending.empty()
                                     ? lines.front().ending
                                     : NewProfileLineEnding();

    std::string out(document.byteOrderMark);
    out.reserve(file.text.size() + section.size() + key.size() + 32);
    // Line bodies hold no '\r', so `out` ending in '\r' ends in a lone-'\r' line
    // end. Before a blank line ending in '\n' (now next to it after a line was
    // added or removed) that ending becomes "\r\n", or the two would read as one
    // "\r\n" and the blank line would vanish.
    const auto appendEnding = [&](std::string_view ending) {
        if (ending.starts_with('\n') && out.ends_with('\r')) out += '\n';
        out.append(ending);
    };
    bool lineOpen = false;  // the last line copied lacks its ending
    const auto addLine = [&](std::string_view first, std::string_view second,
                             std::string_view third) {
        if (lineOpen) out += eol;
        out.append(first).append(second).append(third).append(eol);
        lineOpen = false;
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        const bool holdsKey =
            std::find(place.keyLines.begin(), place.keyLines.end(), i) != place.keyLines.end();
        if (holdsKey && !storedValue) continue;
        if (holdsKey && i == place.keyLines.front()) {
            out.append(line.body.substr(0, ParseLine(line.body).valueStart)).append(*storedValue);
        } else {
            out.append(line.body);
        }
        appendEnding(line.ending);
        lineOpen = line.ending.empty();
        if (adding && place.sectionEnd == i) addLine(key, "=", *storedValue);
    }
    if (adding && !place.sectionEnd) {
        addLine("[", section, "]");
        addLine(key, "=", *storedValue);
    }
    return profile.Store(out);
}

std::string PortKey(int portNumber) {
    return "COM" + std::to_string(portNumber);
}

}  // namespace

Profile::Profile(std::string path) : m_path(std::move(path)) {}

Profile Profile::InMemory(std::string text) {
    Profile profile;
    profile.m_memory = std::move(text);
    return profile;
}

bool Profile::Store(std::string_view text) {
    if (m_memory) {
        m_memory->assign(text);
        return true;
    }
    ReplaceFailure failure;
    if (ReplaceFileContents(m_path, text, &failure)) return true;
    return RefuseWrite(failure.newFile.empty()
                           ? failure.reason
                           : failure.reason + "; the new settings are in " + failure.newFile);
}

std::optional<std::string> Profile::GetProfileString(std::string_view section,
                                                     std::string_view key) const {
    const std::optional<std::string> stored = ReadStoredValue(*this, section, key);
    if (!stored) return std::nullopt;
    return std::string(Unquote(*stored));
}

int Profile::GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const {
    const std::optional<std::string> value = GetProfileString(section, key);
    return value && !value->empty() ? ParseLeadingInt(*value) : defaultValue;
}

bool Profile::WriteProfileInt(std::string_view section, std::string_view key, int value) {
    const std::string text = std::to_string(value);
    return RewriteProfile(*this, section, key, &text);
}

bool Profile::WriteProfileString(std::string_view section, std::string_view key,
                                 std::string_view value) {
    const std::optional<std::string> text = StoredText(value, Unquote);
    return text && RewriteProfile(*this, section, key, &*text);
}

bool Profile::DeleteProfileKey(std::string_view section, std::string_view key) {
    return RewriteProfile(*this, section, key, nullptr);
}

std::string ComPortPath(const Profile& profile, int portNumber) {
    const std::optional<std::string> stored =
        ReadStoredValue(profile, "Ports", PortKey(portNumber));
    const std::string_view configured = stored ? PortsValue(*stored) : std::string_view();
    return configured.empty() ? DefaultComPortPath(portNumber) : std::string(configured);
}

bool SetComPortPath(Profile& profile, int portNumber, std::string_view path) {
    const std::string key = PortKey(portNumber);
    if (path.empty() || path == DefaultComPortPath(portNumber))
        return profile.DeleteProfileKey("Ports", key);
    const std::optional<std::string> text = StoredText(path, PortsValue);
    return text && RewriteProfile(profile, "Ports", key, &*text);
}

}  // namespace velmora
