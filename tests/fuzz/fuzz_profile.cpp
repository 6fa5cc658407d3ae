// Any text as a settings profile: reading never fails, a write changes one key
// and keeps every other line byte for byte, and the written value reads back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "Profile.h"

namespace {

using velmora::Profile;
using velmora::fuzz::Scratch;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Names the program could ask for: no control characters, no blanks at the
// ends, nothing that would make "key=value" or "[section]" read differently.
bool UsableName(std::string_view name, std::string_view forbidden) {
    if (name.empty() || name != Trim(name)) return false;
    if (name.front() == '[' || name.front() == ';' || name.front() == '#') return false;
    return std::none_of(name.begin(), name.end(), [&](char c) {
        return static_cast<unsigned char>(c) < 0x20 || forbidden.find(c) != std::string_view::npos;
    });
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

// The same name in other letters' case, which must find the same entry.
std::string OtherCase(std::string name) {
    for (char& c : name) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

// Lines cut after each '\n'; the last one may lack it.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        const std::size_t size = newline == std::string_view::npos ? text.size() : newline + 1;
        lines.push_back(text.substr(0, size));
        text.remove_prefix(size);
    }
    return lines;
}

bool IsLineEnding(std::string_view text) {
    return text == "\n" || text == "\r\n";
}

struct Names {
    std::vector<std::string> sections{"Settings", "Fuzz"};
    std::vector<std::string> keys{"Port", "Timeout", "Date Format", "Fuzz"};
};

// Section and key names as they stand in the text, so that reads and writes hit
// entries that exist as well as ones that do not.
Names NamesIn(std::string_view text) {
    Names names;
    for (std::string_view line : Lines(text)) {
        const std::size_t open = line.find('[');
        const std::size_t close = line.find(']', open);
        if (open != std::string_view::npos && close != std::string_view::npos) {
            const std::string_view name = Trim(line.substr(open + 1, close - open - 1));
            if (UsableName(name, "]") && names.sections.size() < 6)
                names.sections.emplace_back(name);
        }
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos) {
            const std::string_view name = Trim(line.substr(0, equals));
            if (UsableName(name, "=") && names.keys.size() < 8) names.keys.emplace_back(name);
        }
    }
    return names;
}

// The file after writing `keyLine` (without its ending) differs from the file
// before only by that line: either it replaced one line that held the key, or
// it was inserted, perhaps after a new section header and after the line
// ending that a last line lacked.
void CheckOnlyTheKeyChanged(std::string_view before, std::string_view after,
                            const std::string& sectionHeader, const std::string& key,
                            const std::string& valueText) {
    const std::vector<std::string_view> old = Lines(before);
    const std::vector<std::string_view> now = Lines(after);
    std::size_t prefix = 0;
    while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < old.size() - prefix && suffix < now.size() - prefix &&
           old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        ++suffix;
    const std::vector<std::string_view> oldMid(old.begin() + static_cast<std::ptrdiff_t>(prefix),
                                               old.end() - static_cast<std::ptrdiff_t>(suffix));
    std::vector<std::string_view> newMid(now.begin() + static_cast<std::ptrdiff_t>(prefix),
                                         now.end() - static_cast<std::ptrdiff_t>(suffix));
    FUZZ_CHECK(oldMid.size() <= 1);

    // The changed line keeps its key text up to the '=' and its line ending.
    if (oldMid.size() == 1 && newMid.size() == 1) {
        const std::string_view line = oldMid.front();
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos && SameName(Trim(line.substr(0, equals)), key)) {
            // The ending: '\n' with a '\r' before it, or a '\r' that ends the file.
            std::string_view body = line;
            if (body.ends_with('\n')) body.remove_suffix(1);
            if (body.ends_with('\r')) body.remove_suffix(1);
            const std::string_view ending = line.substr(body.size());
            FUZZ_CHECK(newMid.front() ==
                       std::string(line.substr(0, equals + 1)) + valueText + std::string(ending));
            return;
        }
    }
    // Otherwise nothing was removed: a last line without an ending got one.
    if (oldMid.size() == 1) {
        FUZZ_CHECK(suffix == 0 && prefix + 1 == old.size() && !oldMid.front().ends_with('\n'));
        FUZZ_CHECK(!newMid.empty() && newMid.front().starts_with(oldMid.front()));
        FUZZ_CHECK(IsLineEnding(newMid.front().substr(oldMid.front().size())));
        newMid.erase(newMid.begin());
    }
    // ... and the key line went in, under a new section header if need be.
    FUZZ_CHECK(newMid.size() == 1 || newMid.size() == 2);
    if (newMid.size() == 2) {
        FUZZ_CHECK(newMid.front().starts_with(sectionHeader));
        FUZZ_CHECK(IsLineEnding(newMid.front().substr(sectionHeader.size())));
    }
    const std::string keyLine = key + "=" + valueText;
    FUZZ_CHECK(newMid.back().starts_with(keyLine));
    FUZZ_CHECK(IsLineEnding(newMid.back().substr(keyLine.size())));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string before(reinterpret_cast<const char*>(data), size);
    const std::string path = Scratch().File("Velmora.ini");
    FUZZ_CHECK(velmora::fuzz::WriteWholeFile(path, before));
    Profile profile(path);

    const Names names = NamesIn(before);
    // Reading: the default only for a missing entry, and the same entry under
    // any letter case.
    std::vector<std::optional<std::string>> read;
    for (const std::string& section : names.sections) {
        for (const std::string& key : names.keys) {
            const std::optional<std::string> value = profile.GetProfileString(section, key);
            FUZZ_CHECK(profile.GetProfileString(OtherCase(section), OtherCase(key)) == value);
            const int low = profile.GetProfileInt(section, key, -7);
            const int high = profile.GetProfileInt(section, key, 7);
            FUZZ_CHECK(value ? low == high : (low == -7 && high == 7));
            read.push_back(value);
        }
    }

    // Writing one of those entries, chosen and valued by the text itself.
    const std::size_t hash = std::hash<std::string>{}(before);
    const std::string& section = names.sections[hash % names.sections.size()];
    const std::string& key = names.keys[(hash / 7) % names.keys.size()];
    const int value = static_cast<int>(static_cast<std::uint32_t>(hash >> 32));
    FUZZ_CHECK(profile.WriteProfileInt(section, key, value));

    const std::string after = velmora::fuzz::ReadWholeFile(path);
    CheckOnlyTheKeyChanged(before, after, "[" + section + "]", key, std::to_string(value));
    FUZZ_CHECK(profile.GetProfileInt(section, key, value ^ 1) == value);
    FUZZ_CHECK(profile.GetProfileInt(OtherCase(section), OtherCase(key), value ^ 1) == value);

    // Every other entry reads as it did.
    std::size_t i = 0;
    for (const std::string& otherSection : names.sections) {
        for (const std::string& otherKey : names.keys) {
            const std::optional<std::string> old = read[i++];
            if (SameName(otherSection, section) && SameName(otherKey, key)) continue;
            FUZZ_CHECK(profile.GetProfileString(otherSection, otherKey) == old);
        }
    }
    return 0;
}
