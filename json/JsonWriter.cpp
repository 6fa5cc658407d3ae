#include "JsonWriter.h"

#include <cstdint>

namespace velmora::json {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at the start of `text`, or 0 when
// its first byte starts none (a stray continuation byte, an overlong form, a
// surrogate, a code point above U+10FFFF or a sequence cut short).
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) return 1;
    // The sequence's length, the lead byte's bits of the code point, and the
    // least code point that needs this length.
    struct Form {
        std::uint8_t first, last;
        std::size_t length;
        std::uint8_t mask;
        std::uint32_t lowest;
    };
    static constexpr Form kForms[] = {
        {0xC2, 0xDF, 2, 0x1F, 0x80}, {0xE0, 0xEF, 3, 0x0F, 0x800}, {0xF0, 0xF4, 4, 0x07, 0x10000}};
    const Form* form = nullptr;
    for (const Form& candidate : kForms)
        if (lead >= candidate.first && lead <= candidate.last) form = &candidate;
    if (!form) return 0;
    const std::size_t length = form->length;
    std::uint32_t point = lead & form->mask;
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0U) != 0x80) return 0;
        point = (point << 6U) | (byte(i) & 0x3FU);
    }
    if (point < form->lowest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
    return length;
}

void AppendQuoted(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = Utf8Length(text.substr(i));
            if (length == 0) {
                out += kReplacement;
                ++i;
            } else {
                out += text.substr(i, length);
                i += length;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F)
                    out.append("\\u00").append(1, kHex[c >> 4U]).append(1, kHex[c & 0xFU]);
                else
                    out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
}

}  // namespace

std::string Quoted(std::string_view text) {
    std::string out;
    AppendQuoted(out, text);
    return out;
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        hex += kHex[bytes[i] >> 4U];
        hex += kHex[bytes[i] & 0xFU];
    }
    return hex;
}

void JsonWriter::Separate() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_empty.empty()) return;
    if (!m_empty.back()) m_text += ',';
    m_empty.back() = false;
}

JsonWriter& JsonWriter::BeginObject() {
    Separate();
    m_text += '{';
    m_empty.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    m_text += '}';
    m_empty.pop_back();
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    Separate();
    m_text += '[';
    m_empty.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    m_text += ']';
    m_empty.pop_back();
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
    Separate();
    AppendQuoted(m_text, key);
    m_text += ':';
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
    Separate();
    AppendQuoted(m_text, text);
    return *this;
}

JsonWriter& JsonWriter::Number(long long value) {
    Separate();
    m_text += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    Separate();
    m_text += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    Separate();
    m_text += "null";
    return *this;
}

JsonWriter& JsonWriter::FieldOrNull(std::string_view key, std::optional<std::string_view> text) {
    Key(key);
    return text ? String(*text) : Null();
}

JsonWriter& JsonWriter::FieldOrNull(std::string_view key, std::optional<long long> value) {
    Key(key);
    return value ? Number(*value) : Null();
}

}  // namespace velmora::json
