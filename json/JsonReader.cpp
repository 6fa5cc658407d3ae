#include "JsonReader.h"

namespace velmora::json {
namespace {

constexpr int kMaxDepth = 32;

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

void JsonReader::SkipSpace() {
    while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                     m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
        ++m_pos;
}

bool JsonReader::AtEnd() {
    SkipSpace();
    return m_pos == m_text.size();
}

bool JsonReader::Take(char c) {
    SkipSpace();
    if (m_pos < m_text.size() && m_text[m_pos] == c) {
        ++m_pos;
        return true;
    }
    return false;
}

bool JsonReader::TakeWord(std::string_view word) {
    SkipSpace();
    if (m_text.substr(m_pos, word.size()) != word) return false;
    m_pos += word.size();
    return true;
}

bool JsonReader::String(std::string& out) {
    out.clear();
    if (!Take('"')) return false;
    while (m_pos < m_text.size()) {
        const char c = m_text[m_pos++];
        if (c == '"') return true;
        if (static_cast<unsigned char>(c) < 0x20) return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (m_pos == m_text.size()) return false;
        switch (m_text[m_pos++]) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                std::uint32_t code = 0;
                if (!Hex4(code)) return false;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    std::uint32_t low = 0;
                    const std::size_t mark = m_pos;
                    if (m_text.substr(m_pos, 2) == "\\u" && (m_pos += 2, Hex4(low)) &&
                        low >= 0xDC00 && low <= 0xDFFF) {
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    } else {
                        m_pos = mark;
                        code = 0xFFFD;  // a lone half of a pair
                    }
                } else if (code >= 0xDC00 && code <= 0xDFFF) {
                    code = 0xFFFD;
                }
                AppendUtf8(out, code);
                break;
            }
            default:
                return false;
        }
    }
    return false;
}

bool JsonReader::Number(std::string& out) {
    SkipSpace();
    const std::size_t start = m_pos;
    const auto digits = [&] {
        const std::size_t from = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') ++m_pos;
        return m_pos > from;
    };
    if (m_pos < m_text.size() && m_text[m_pos] == '-') ++m_pos;
    if (m_pos < m_text.size() && m_text[m_pos] == '0') {
        ++m_pos;
    } else if (!digits()) {
        return false;
    }
    if (m_pos < m_text.size() && m_text[m_pos] == '.' && (++m_pos, !digits())) return false;
    if (m_pos < m_text.size() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
        ++m_pos;
        if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-')) ++m_pos;
        if (!digits()) return false;
    }
    out.assign(m_text.substr(start, m_pos - start));
    return true;
}

bool JsonReader::SkipValue(int depth) {
    if (depth > kMaxDepth) return false;
    SkipSpace();
    if (m_pos == m_text.size()) return false;
    std::string scratch;
    switch (m_text[m_pos]) {
        case '"':
            return String(scratch);
        case '{':
            ++m_pos;
            if (Take('}')) return true;
            do {
                if (!String(scratch) || !Take(':') || !SkipValue(depth + 1)) return false;
            } while (Take(','));
            return Take('}');
        case '[':
            ++m_pos;
            if (Take(']')) return true;
            do {
                if (!SkipValue(depth + 1)) return false;
            } while (Take(','));
            return Take(']');
        case 't':
            return TakeWord("true");
        case 'f':
            return TakeWord("false");
        case 'n':
            return TakeWord("null");
        default:
            return Number(scratch);
    }
}

bool JsonReader::OptionalString(std::optional<std::string>& value) {
    if (TakeWord("null")) {
        value.reset();
        return true;
    }
    std::string text;
    if (!String(text)) return false;
    value = std::move(text);
    return true;
}

bool JsonReader::Hex4(std::uint32_t& code) {
    if (m_text.size() - m_pos < 4) return false;
    for (int i = 0; i < 4; ++i) {
        const char c = m_text[m_pos++];
        code <<= 4;
        if (c >= '0' && c <= '9')
            code |= static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            code |= static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            code |= static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return false;
    }
    return true;
}

}  // namespace velmora::json
