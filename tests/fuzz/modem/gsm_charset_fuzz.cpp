// Any bytes as message text: the septet count must match the converted text, which must never be
// longer than two codes per character.

#include "modem/GSMCharset.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace vesk::modem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string codes = ToGSMCharset(text);
    const std::size_t characters = characterCount(text);
    if (codes.size() < characters || codes.size() > 2 * characters)
        __builtin_trap();
    if (codes.size() <= 32767 && static_cast<std::size_t>(GSMLength(text)) != codes.size())
        __builtin_trap();
    if (leadingCharacters(text, characters) != text)
        __builtin_trap();
    return 0;
}
