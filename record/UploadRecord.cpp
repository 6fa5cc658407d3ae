#include "UploadRecord.h"

#include <charconv>
#include <chrono>
#include <cstdio>

namespace velmora {
namespace {

// ---- Writing ----

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0:
// no overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

void AppendString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text.front());
        std::size_t length = 1;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            switch (c) {
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
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0xF];
            }
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((length = Utf8SequenceLength(text)) != 0) {
            out.append(text.substr(0, length));
        } else {
            out += "\xEF\xBF\xBD";  // U+FFFD for a byte that begins no character
            length = 1;
        }
        text.remove_prefix(length);
    }
    out += '"';
}

// `,"key":` with the comma where a member came before.
void AppendKey(std::string& out, std::string_view key) {
    if (out.back() != '{') out += ',';
    AppendString(out, key);
    out += ':';
}

void AppendMember(std::string& out, std::string_view key, std::string_view value) {
    AppendKey(out, key);
    AppendString(out, value);
}

void AppendMember(std::string& out, std::string_view key, std::int64_t value) {
    AppendKey(out, key);
    out += std::to_string(value);
}

// A member only when its value is known.
void AppendKnown(std::string& out, std::string_view key, const std::optional<std::string>& value) {
    if (value) AppendMember(out, key, std::string_view(*value));
}

// ---- Reading ----

constexpr int kMaxDepth = 32;

class JsonReader {
  public:
    explicit JsonReader(std::string_view text) : m_text(text) {}

    void SkipSpace() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }
    bool AtEnd() {
        SkipSpace();
        return m_pos == m_text.size();
    }
    // Takes `c` (after white space) when it comes next.
    bool Take(char c) {
        SkipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool TakeWord(std::string_view word) {
        SkipSpace();
        if (m_text.substr(m_pos, word.size()) != word) return false;
        m_pos += word.size();
        return true;
    }

    bool String(std::string& out) {
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

    // A number as JSON writes it; its text in `out`.
    bool Number(std::string& out) {
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

    template <typename Int>
    bool Integer(Int& value) {
        std::string text;
        if (!Number(text)) return false;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return error == std::errc() && end == text.data() + text.size();
    }

    // Any value, passed over.
    bool SkipValue(int depth = 0) {
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

    // A string, or null for "not known".
    bool OptionalString(std::optional<std::string>& value) {
        if (TakeWord("null")) {
            value.reset();
            return true;
        }
        std::string text;
        if (!String(text)) return false;
        value = std::move(text);
        return true;
    }

  private:
    bool Hex4(std::uint32_t& code) {
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

    static void AppendUtf8(std::string& out, std::uint32_t code) {
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

    std::string_view m_text;
    std::size_t m_pos = 0;
};

bool ReadAdapter(JsonReader& in, AdapterIdentity& adapter) {
    if (!in.Take('{')) return false;
    if (in.Take('}')) return true;
    std::string key;
    do {
        if (!in.String(key) || !in.Take(':')) return false;
        std::optional<std::string>* field = key == "vendor_id"       ? &adapter.vendorId
                                            : key == "product_id"    ? &adapter.productId
                                            : key == "serial"        ? &adapter.serial
                                            : key == "maker"         ? &adapter.maker
                                            : key == "product"       ? &adapter.product
                                            : key == "friendly_name" ? &adapter.friendlyName
                                            : key == "hardware_id"   ? &adapter.hardwareId
                                                                     : nullptr;
        if (field ? !in.OptionalString(*field) : !in.SkipValue(1)) return false;
    } while (in.Take(','));
    return in.Take('}');
}

}  // namespace

std::string FormatUtcTime(std::int64_t timeMs) {
    using namespace std::chrono;
    const sys_time<milliseconds> time{milliseconds{timeMs}};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> clock{time - day};
    char text[40];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

std::optional<std::int64_t> ParseUtcTime(std::string_view text) {
    using namespace std::chrono;
    // "YYYY-MM-DDTHH:MM:SS.mmmZ": the digits' places and the separators between.
    static constexpr std::string_view kForm = "dddd-dd-ddTdd:dd:dd.dddZ";
    if (text.size() != kForm.size()) return std::nullopt;
    for (std::size_t i = 0; i < kForm.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kForm[i] == 'd' ? !digit : text[i] != kForm[i]) return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    const year_month_day date{year{number(0, 4)}, month{static_cast<unsigned>(number(5, 2))},
                              day{static_cast<unsigned>(number(8, 2))}};
    const int hour = number(11, 2);
    const int minute = number(14, 2);
    const int second = number(17, 2);
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    const auto time = sys_days{date} + hours{hour} + minutes{minute} + seconds{second} +
                      milliseconds{number(20, 3)};
    return duration_cast<milliseconds>(time.time_since_epoch()).count();
}

std::string HexBytes(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        hex += kHex[static_cast<unsigned char>(c) >> 4];
        hex += kHex[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

std::string EncodeRecordLine(const UploadRecord& record) {
    std::string line = "{";
    AppendMember(line, "time", FormatUtcTime(record.timeMs));
    AppendMember(line, "program", record.program);
    AppendMember(line, "version", record.version);
    AppendMember(line, "command", record.command);
    if (record.comPort) AppendMember(line, "port", *record.comPort);
    AppendMember(line, "device", record.devicePath);
    if (!record.adapter.Empty()) {
        const AdapterIdentity& adapter = record.adapter;
        AppendKey(line, "adapter");
        line += '{';
        AppendKnown(line, "vendor_id", adapter.vendorId);
        AppendKnown(line, "product_id", adapter.productId);
        AppendKnown(line, "serial", adapter.serial);
        AppendKnown(line, "maker", adapter.maker);
        AppendKnown(line, "product", adapter.product);
        AppendKnown(line, "friendly_name", adapter.friendlyName);
        AppendKnown(line, "hardware_id", adapter.hardwareId);
        line += '}';
    }
    AppendKnown(line, "file", record.sourceFile);
    AppendMember(line, "bytes", record.bytesHex);
    AppendMember(line, "outcome", record.outcome);
    AppendMember(line, "exit_code", record.exitCode);
    AppendMember(line, "frames_ok", record.framesAnswered);
    AppendMember(line, "duration_ms", record.durationMs);
    line += "}\n";
    return line;
}

std::optional<UploadRecord> ParseRecordLine(std::string_view line) {
    JsonReader in(line);
    UploadRecord record;
    bool hasTime = false, hasCommand = false, hasOutcome = false, hasExitCode = false;
    if (!in.Take('{')) return std::nullopt;
    if (!in.Take('}')) {
        std::string key;
        std::string text;
        do {
            if (!in.String(key) || !in.Take(':')) return std::nullopt;
            bool ok = true;
            if (key == "time") {
                std::optional<std::int64_t> time;
                ok = in.String(text) && (time = ParseUtcTime(text)).has_value();
                if (ok) record.timeMs = *time;
                hasTime = ok;
            } else if (key == "program") {
                ok = in.String(record.program);
            } else if (key == "version") {
                ok = in.String(record.version);
            } else if (key == "command") {
                ok = hasCommand = in.String(record.command);
            } else if (key == "port") {
                int port = 0;
                if (in.TakeWord("null")) {
                    record.comPort.reset();
                } else {
                    ok = in.Integer(port);
                    record.comPort = port;
                }
            } else if (key == "device") {
                ok = in.String(record.devicePath);
            } else if (key == "adapter") {
                record.adapter = {};
                ok = ReadAdapter(in, record.adapter);
            } else if (key == "file") {
                ok = in.OptionalString(record.sourceFile);
            } else if (key == "bytes") {
                ok = in.String(record.bytesHex);
            } else if (key == "outcome") {
                ok = hasOutcome = in.String(record.outcome);
            } else if (key == "exit_code") {
                ok = hasExitCode = in.Integer(record.exitCode);
            } else if (key == "frames_ok") {
                ok = in.Integer(record.framesAnswered);
            } else if (key == "duration_ms") {
                ok = in.Integer(record.durationMs);
            } else {
                ok = in.SkipValue(1);
            }
            if (!ok) return std::nullopt;
        } while (in.Take(','));
        if (!in.Take('}')) return std::nullopt;
    }
    if (!in.AtEnd() || !hasTime || !hasCommand || !hasOutcome || !hasExitCode) return std::nullopt;
    return record;
}

}  // namespace velmora
