#include "modem/GSMCharset.h"

#include <limits>

namespace vesk::modem {

namespace {

constexpr char kEscape = 27;

struct Utf8Char
{
    char32_t code;
    std::size_t bytes;
};

// One character from the front of a non-empty UTF-8 text. A byte that does not start a
// well-formed sequence stands for itself, so foreign or broken text still converts.
Utf8Char nextCharacter(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    char32_t code = 0;
    if (lead < 0x80)
        return {lead, 1};
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return {lead, 1};
    }
    if (text.size() < length)
        return {lead, 1};
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return {lead, 1};
        code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past the last plane are not characters.
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return {lead, 1};
    return {code, length};
}

// Code in the extension table for the nine characters that need the escape, else -1.
int extensionCode(char32_t ch)
{
    switch (ch) {
    case U'€':
        return 101;
    case U'^':
        return 20;
    case U'{':
        return 40;
    case U'}':
        return 41;
    case U'\\':
        return 47;
    case U'[':
        return 60;
    case U']':
        return 62;
    case U'~':
        return 61;
    case U'|':
        return 64;
    default:
        return -1;
    }
}

} // namespace

std::string ToGSMCharset(std::string_view text)
{
    std::string codes;
    codes.reserve(text.size());
    while (!text.empty()) {
        const Utf8Char c = nextCharacter(text);
        text.remove_prefix(c.bytes);
        if (const int ext = extensionCode(c.code); ext >= 0) {
            codes += kEscape;
            codes += static_cast<char>(ext);
            continue;
        }
        switch (c.code) {
        case U'@':
            codes += '\0';
            break;
        case U'£':
            codes += '\x01';
            break;
        case U'$':
            codes += '\x02';
            break;
        case U'_':
            // The alphabet has an underscore, but many handsets show it badly; a hyphen reads fine.
            codes += '-';
            break;
        default:
            // Not in the alphabet: the packing keeps the low seven bits of what is left here.
            codes += static_cast<char>(c.code & 0xFF);
            break;
        }
    }
    return codes;
}

std::int16_t GSMLength(std::string_view text)
{
    long septets = 0;
    while (!text.empty()) {
        const Utf8Char c = nextCharacter(text);
        text.remove_prefix(c.bytes);
        septets += IsGSMExtension(c.code) ? 2 : 1;
    }
    constexpr long kMax = std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(septets > kMax ? kMax : septets);
}

bool IsGSMExtension(char32_t ch)
{
    return extensionCode(ch) >= 0;
}

bool IsGSMExtension(std::string_view character)
{
    return !character.empty() && IsGSMExtension(nextCharacter(character).code);
}

char32_t TakeCharacter(std::string_view& text)
{
    const Utf8Char c = nextCharacter(text);
    text.remove_prefix(c.bytes);
    return c.code;
}

std::size_t characterCount(std::string_view text)
{
    std::size_t count = 0;
    while (!text.empty()) {
        text.remove_prefix(nextCharacter(text).bytes);
        ++count;
    }
    return count;
}

std::string_view leadingCharacters(std::string_view text, std::size_t count)
{
    std::size_t bytes = 0;
    while (count > 0 && bytes < text.size()) {
        bytes += nextCharacter(text.substr(bytes)).bytes;
        --count;
    }
    return text.substr(0, bytes);
}

} // namespace vesk::modem
