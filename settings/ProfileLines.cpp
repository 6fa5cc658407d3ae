#include "ProfileLines.h"

#include <utility>

namespace velmora::profile {

namespace {

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

Line NextLine(std::string_view& text) {
    const std::size_t end = text.find_first_of("\r\n");
    if (end == std::string_view::npos) return {std::exchange(text, {}), {}};
    const std::size_t endingSize = text.substr(end, 2) == "\r\n" ? 2 : 1;
    const Line line{text.substr(0, end), text.substr(end, endingSize)};
    text.remove_prefix(end + endingSize);
    return line;
}

Document ParseDocument(std::string_view text) {
    Document document;
    if (text.starts_with(kByteOrderMark)) {
        document.byteOrderMark = text.substr(0, kByteOrderMark.size());
        text.remove_prefix(kByteOrderMark.size());
    }
    while (!text.empty()) document.lines.push_back(NextLine(text));
    return document;
}

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

KeyPlace FindKey(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    KeyPlace place;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(lines[i].body);
        if (parsed.kind == ParsedLine::Section) {
            if (inSection) break;  // the first section of that name ended
            inSection = SameName(parsed.name, section);
            if (inSection) place.sectionEnd = i;
            continue;
        }
        if (!inSection) continue;
        if (!Trim(lines[i].body).empty()) place.sectionEnd = i;
        if (parsed.kind == ParsedLine::Key && SameName(parsed.name, key))
            place.keyLines.push_back(i);
    }
    return place;
}

}  // namespace velmora::profile
