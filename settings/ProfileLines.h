// The lines of the profile's text: their endings, the sections and keys they
// hold, and where a key stands or would go. The reader and the writer of the
// profile share them; the rules are those listed at the top of Profile.cpp.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace velmora::profile {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c);
std::string_view Trim(std::string_view text);
// Equal but for ASCII case.
bool SameName(std::string_view a, std::string_view b);

// One line of the file, with its ending ("\r\n", "\n", "\r" or none) kept apart.
struct Line {
    std::string_view body;
    std::string_view ending;
};

// The lines after the byte-order mark, if the text starts with one.
struct Document {
    std::string_view byteOrderMark;
    std::vector<Line> lines;
};

// Takes the first line off a text that is not empty.
Line NextLine(std::string_view& text);
Document ParseDocument(std::string_view text);

struct ParsedLine {
    enum Kind { Skipped, Section, Key } kind = Skipped;
    std::string_view name;
    std::string_view value;
    std::size_t valueStart = 0;  // in the body: just past the '='
};

ParsedLine ParseLine(std::string_view body);

// Where a key is, or where it would go.
struct KeyPlace {
    std::vector<std::size_t> keyLines;      // the lines holding the key, the one read first
    std::optional<std::size_t> sectionEnd;  // last non-blank line of the first matching section
};

KeyPlace FindKey(const std::vector<Line>& lines, std::string_view section, std::string_view key);

}  // namespace velmora::profile
