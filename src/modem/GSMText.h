#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The full text codings a message can travel in: the 7-bit default alphabet with its extension
// table, and UCS2 (UTF-16 code units, big-endian on the air). Texts on the console's side are UTF-8.
namespace vesk::modem {

// Alphabet codes (one byte 0..127 per septet, an extension character as 27 and its code), or
// nullopt when a character has no place in the alphabet or its extension table.
std::optional<std::string> ToGSMAlphabet(std::string_view utf8);
// Codes back to UTF-8. An escape before a code the extension table does not define gives the base
// character of that code; an escape at the very end gives nothing.
std::string FromGSMAlphabet(std::string_view codes);

std::u16string ToUTF16(std::string_view utf8);
// Surrogate pairs are joined; a lone surrogate becomes U+FFFD.
std::string FromUTF16(std::u16string_view units);
// Big-endian octets to UTF-8; an odd last octet is dropped.
std::string FromUCS2Octets(const std::vector<unsigned char>& octets);
std::string UCS2Hex(std::u16string_view units);

// Consecutive pieces of at most `size` septets; an escape pair never ends up split.
std::vector<std::string> SplitSeptets(std::string_view codes, std::size_t size);
// Consecutive pieces of at most `size` code units; a surrogate pair never ends up split.
std::vector<std::u16string> SplitUnits(std::u16string_view units, std::size_t size);

// Appends the character to a UTF-8 text.
void AppendUTF8(std::string& out, char32_t ch);

} // namespace vesk::modem
