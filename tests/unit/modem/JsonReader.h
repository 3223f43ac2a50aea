#pragma once

// A small JSON reader for the recorded test data: enough of the format for files of arrays,
// objects, strings, numbers, Booleans and null. Throws std::runtime_error on malformed input.

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::testing {

struct JsonValue
{
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text; // string value, or the number as written
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    bool isString() const { return kind == Kind::String; }
    bool isNumber() const { return kind == Kind::Number; }
    bool has(const std::string& key) const { return members.count(key) != 0; }
    const JsonValue& operator[](const std::string& key) const
    {
        static const JsonValue kNull;
        const auto it = members.find(key);
        return it == members.end() ? kNull : it->second;
    }
};

class JsonReader
{
public:
    static JsonValue parse(std::string_view text)
    {
        JsonReader reader(text);
        JsonValue value = reader.value();
        reader.skipBlanks();
        if (reader.m_pos != text.size())
            reader.fail("trailing characters");
        return value;
    }

private:
    explicit JsonReader(std::string_view text)
        : m_text(text)
    {
    }

    [[noreturn]] void fail(const char* what) const
    {
        throw std::runtime_error(std::string("JSON: ") + what + " at offset " + std::to_string(m_pos));
    }

    void skipBlanks()
    {
        while (m_pos < m_text.size()
            && (m_text[m_pos] == ' ' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r'
                || m_text[m_pos] == '\t'))
            ++m_pos;
    }

    char peek()
    {
        skipBlanks();
        if (m_pos >= m_text.size())
            fail("unexpected end");
        return m_text[m_pos];
    }

    void expect(char c)
    {
        if (peek() != c)
            fail("unexpected character");
        ++m_pos;
    }

    bool literal(std::string_view word)
    {
        if (m_text.substr(m_pos, word.size()) != word)
            return false;
        m_pos += word.size();
        return true;
    }

    JsonValue value()
    {
        JsonValue v;
        const char c = peek();
        if (c == '{') {
            v.kind = JsonValue::Kind::Object;
            ++m_pos;
            if (peek() == '}') {
                ++m_pos;
                return v;
            }
            for (;;) {
                if (peek() != '"')
                    fail("object key expected");
                std::string key = string();
                expect(':');
                v.members[key] = value();
                if (peek() == ',') {
                    ++m_pos;
                    continue;
                }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.kind = JsonValue::Kind::Array;
            ++m_pos;
            if (peek() == ']') {
                ++m_pos;
                return v;
            }
            for (;;) {
                v.items.push_back(value());
                if (peek() == ',') {
                    ++m_pos;
                    continue;
                }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.kind = JsonValue::Kind::String;
            v.text = string();
            return v;
        }
        if (literal("true") || literal("false")) {
            v.kind = JsonValue::Kind::Boolean;
            v.boolean = m_text[m_pos - 1] == 'e' && m_text[m_pos - 2] == 'u';
            return v;
        }
        if (literal("null"))
            return v;
        const std::size_t start = m_pos;
        while (m_pos < m_text.size()
            && std::string_view("+-.0123456789eE").find(m_text[m_pos]) != std::string_view::npos)
            ++m_pos;
        if (start == m_pos)
            fail("value expected");
        v.kind = JsonValue::Kind::Number;
        v.text = std::string(m_text.substr(start, m_pos - start));
        v.number = std::stod(v.text);
        return v;
    }

    unsigned hex4()
    {
        if (m_pos + 4 > m_text.size())
            fail("short \\u escape");
        const unsigned v
            = static_cast<unsigned>(std::stoul(std::string(m_text.substr(m_pos, 4)), nullptr, 16));
        m_pos += 4;
        return v;
    }

    static void appendUtf8(std::string& out, char32_t cp)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    std::string string()
    {
        expect('"');
        std::string out;
        for (;;) {
            if (m_pos >= m_text.size())
                fail("unterminated string");
            const char c = m_text[m_pos++];
            if (c == '"')
                return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size())
                fail("unterminated escape");
            const char e = m_text[m_pos++];
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                char32_t cp = hex4();
                if (cp >= 0xD800 && cp <= 0xDBFF && literal("\\u")) {
                    const unsigned low = hex4();
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(out, cp);
                break;
            }
            default:
                out += e; // \" \\ \/
                break;
            }
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace vesk::testing
