// The septet unpacker on arbitrary hex text and counts, and the packer's round trip: any codes
// packed after any fill reach the unpacker again as their low seven bits (0 as "@").

#include "modem/PDUEncoder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using vesk::modem::PDUEncoder;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const auto septets = static_cast<std::int16_t>(data[0] | (data[1] << 8));
    const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);

    const PDUEncoder codec;
    const std::string text = codec.Decode(rest, septets);
    if (text.size() > rest.size() * 8 / 7 + 1)
        __builtin_trap();

    const std::string hex = codec.Encode(rest);
    const std::string back
        = codec.Decode(hex, static_cast<std::int16_t>(rest.size() > 32767 ? 32767 : rest.size()));
    if (back.size() != rest.size())
        __builtin_trap();
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char expected = (rest[i] & 0x7F) == 0 ? '@' : static_cast<char>(rest[i] & 0x7F);
        if (back[i] != expected)
            __builtin_trap();
    }

    // With fill bits the packed text is the fill's octets longer at most.
    const std::string filled = codec.Encode7BitFill(rest, static_cast<std::int16_t>(septets & 0x3F));
    if (filled.size() % 2 != 0)
        __builtin_trap();
    return 0;
}
