// Writes one JSON text (RFC 8259) into a string: compact, on one line, with the
// keys of an object in the order they were written. Strings are UTF-8 and kept
// as they are; quotes, backslashes and control characters are escaped, and a
// byte that is not part of valid UTF-8 becomes U+FFFD, so that the text is
// always valid JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::json {

class JsonWriter {
  public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    // The key of the next value; only inside an object.
    JsonWriter& Key(std::string_view key);

    JsonWriter& String(std::string_view text);
    JsonWriter& Number(long long value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    // A key and its value.
    JsonWriter& Field(std::string_view key, std::string_view text) { return Key(key).String(text); }
    JsonWriter& Field(std::string_view key, const char* text) { return Key(key).String(text); }
    JsonWriter& Field(std::string_view key, int value) { return Key(key).Number(value); }
    JsonWriter& Field(std::string_view key, long long value) { return Key(key).Number(value); }
    JsonWriter& Field(std::string_view key, bool value) { return Key(key).Bool(value); }
    // A key and its value, or null when there is none.
    JsonWriter& FieldOrNull(std::string_view key, std::optional<std::string_view> text);
    JsonWriter& FieldOrNull(std::string_view key, std::optional<long long> value);

    // What has been written; a whole JSON text once every object and array is ended.
    const std::string& Text() const { return m_text; }

  private:
    // The comma before a value or key that is not the first of its container.
    void Separate();

    std::string m_text;
    std::vector<bool> m_empty;  // per open object or array: nothing written in it yet
    bool m_afterKey = false;
};

// `text` as a JSON string, with its quotes.
std::string Quoted(std::string_view text);

// Bytes as the documents write them: upper-case hex without spaces, "1C031F0A1B".
std::string HexBytes(const std::uint8_t* bytes, std::size_t count);
inline std::string HexBytes(std::string_view bytes) {
    return HexBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace velmora::json
