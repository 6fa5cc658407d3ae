// Any text as a settings profile: reading never fails; a write changes one key,
// keeps every other line byte for byte and the byte-order mark, and the written
// value reads back; a removal takes only lines of that key.
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

// Lines cut after each "\r\n", "\n" or lone "\r"; the last one may lack its ending.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t size = std::min(text.find_first_of("\r\n"), text.size());
        if (size < text.size()) size += text.substr(size, 2) == "\r\n" ? 2 : 1;
        lines.push_back(text.substr(0, size));
        text.remove_prefix(size);
    }
    return lines;
}

// The line's ending, empty for a last line that lacks one.
std::string_view Ending(std::string_view line) {
    return line.substr(std::min(line.find_first_of("\r\n"), line.size()));
}

bool IsLineEnding(std::string_view text) {
    return text == "\n" || text == "\r\n" || text == "\r";
}

// The byte-order mark, which a write keeps and which belongs to no line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view WithoutMark(std::string_view text) {
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    return text;
}

bool IsKeyLine(std::string_view line, const std::string& key) {
    const std::size_t equals = line.find('=');
    return equals != std::string_view::npos && SameName(Trim(line.substr(0, equals)), key);
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
    FUZZ_CHECK(before.starts_with(kByteOrderMark) == after.starts_with(kByteOrderMark));
    const std::vector<std::string_view> old = Lines(WithoutMark(before));
    const std::vector<std::string_view> now = Lines(WithoutMark(after));
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
        if (IsKeyLine(line, key)) {
            FUZZ_CHECK(newMid.front() == std::string(line.substr(0, line.find('=') + 1)) +
                                             valueText + std::string(Ending(line)));
            return;
        }
    }
    // Otherwise nothing was removed: a last line without an ending got one.
    if (oldMid.size() == 1) {
        FUZZ_CHECK(suffix == 0 && prefix + 1 == old.size() && Ending(oldMid.front()).empty());
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

// The file after removing the key is the file before without some lines of that
// key. A lone '\r' ending that came to stand before a blank "\n" line may have
// become "\r\n", so that the blank line stays one.
void CheckOnlyKeyLinesRemoved(std::string_view before, std::string_view after,
                              const std::string& key) {
    FUZZ_CHECK(before.starts_with(kByteOrderMark) == after.starts_with(kByteOrderMark));
    const std::vector<std::string_view> old = Lines(WithoutMark(before));
    const std::vector<std::string_view> now = Lines(WithoutMark(after));
    const auto same = [](std::string_view now, std::string_view old) {
        return now == old || (Ending(old) == "\r" && now == std::string(old) + "\n");
    };
    std::size_t kept = 0;
    for (std::string_view line : old) {
        if (kept < now.size() && same(now[kept], line))
            ++kept;
        else
            FUZZ_CHECK(IsKeyLine(line, key));
    }
    FUZZ_CHECK(kept == now.size());
}

}  // namespace

// Texts of up to 512 bytes, some thirty lines: each read parses the whole text.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    velmora::fuzz::DefaultMaxLen(argc, argv, 512);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string before(reinterpret_cast<const char*>(data), size);
    // In memory: the same reading and rewriting as with a file, without its
    // open, read, write, flush and rename for every input.
    Profile profile = Profile::InMemory(before);

    // Each read parses the whole text, so each input looks at two entries of
    // those the text names, chosen by its hash, and changes the first of them.
    const Names names = NamesIn(before);
    std::size_t hash = std::hash<std::string>{}(before);
    struct Entry {
        const std::string* section;
        const std::string* key;
        std::optional<std::string> value;
    };
    std::vector<Entry> entries;
    for (int i = 0; i < 2; ++i) {
        const std::size_t pick = hash % (names.sections.size() * names.keys.size());
        hash = hash / 11 + 0x9E3779B97F4A7C15U * static_cast<std::size_t>(i + 1);
        entries.push_back({&names.sections[pick / names.keys.size()],
                           &names.keys[pick % names.keys.size()], std::nullopt});
    }

    // Reading: the same entry under any letter case, and the default only for
    // a missing entry or an empty value.
    for (Entry& entry : entries) {
        entry.value = profile.GetProfileString(*entry.section, *entry.key);
        FUZZ_CHECK(profile.GetProfileString(OtherCase(*entry.section), OtherCase(*entry.key)) ==
                   entry.value);
    }
    const Entry& first = entries.front();
    const int low = profile.GetProfileInt(*first.section, *first.key, -7);
    const int high = profile.GetProfileInt(*first.section, *first.key, 7);
    FUZZ_CHECK(first.value && !first.value->empty() ? low == high : (low == -7 && high == 7));

    // Writing or removing the first entry, valued by the text itself.
    const std::string& section = *entries.front().section;
    const std::string& key = *entries.front().key;
    if ((hash >> 20) % 2 == 0) {
        const int value = static_cast<int>(static_cast<std::uint32_t>(hash >> 32));
        FUZZ_CHECK(profile.WriteProfileInt(section, key, value));
        CheckOnlyTheKeyChanged(before, *profile.Text(), "[" + section + "]", key,
                               std::to_string(value));
        FUZZ_CHECK(profile.GetProfileInt(section, key, value ^ 1) == value);
        FUZZ_CHECK(profile.GetProfileInt(OtherCase(section), OtherCase(key), value ^ 1) == value);
    } else {
        FUZZ_CHECK(profile.DeleteProfileKey(section, key));
        CheckOnlyKeyLinesRemoved(before, *profile.Text(), key);
        FUZZ_CHECK(!profile.GetProfileString(section, key));
    }

    // The other entries read as they did.
    for (const Entry& entry : entries) {
        if (SameName(*entry.section, section) && SameName(*entry.key, key)) continue;
        FUZZ_CHECK(profile.GetProfileString(*entry.section, *entry.key) == entry.value);
    }
    return 0;
}
