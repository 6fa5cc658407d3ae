// Reads one JSON text (RFC 8259) piece by piece, for the lines this program
// writes itself: the caller takes the punctuation, strings and numbers it
// expects and passes over values it does not know.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace velmora::json {

class JsonReader {
  public:
    explicit JsonReader(std::string_view text) : m_text(text) {}

    // True when nothing but white space is left.
    bool AtEnd();
    // Takes `c` (after white space) when it comes next.
    bool Take(char c);
    // Takes `word` ("true", "null") when it comes next.
    bool TakeWord(std::string_view word);
    // A string, its escapes undone (a lone surrogate becomes U+FFFD).
    bool String(std::string& out);
    // A string, or null for "not known".
    bool OptionalString(std::optional<std::string>& value);
    // A number as JSON writes it; its text in `out`.
    bool Number(std::string& out);
    // A number that is a whole number of type Int.
    template <typename Int>
    bool Integer(Int& value) {
        std::string text;
        if (!Number(text)) return false;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return error == std::errc() && end == text.data() + text.size();
    }
    // Any value, passed over; nested no deeper than 32 levels.
    bool SkipValue(int depth = 0);

  private:
    void SkipSpace();
    bool Hex4(std::uint32_t& code);

    std::string_view m_text;
    std::size_t m_pos = 0;
};

}  // namespace velmora::json
