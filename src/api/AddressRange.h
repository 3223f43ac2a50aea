#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::api {

// An IPv4 or IPv6 network, "10.0.0.0/8", "2001:db8::/32", or one address.
class AddressRange
{
public:
    static std::optional<AddressRange> Parse(std::string_view text);
    // "a,b,c" with blanks allowed; nothing when one entry is not a range.
    static std::optional<std::vector<AddressRange>> ParseList(std::string_view text);

    bool Contains(std::string_view address) const;
    std::string Text() const { return m_text; }

private:
    bool m_v6 = false;
    std::array<unsigned char, 16> m_bytes {};
    int m_prefix = 0;
    std::string m_text;
};

// An address as 16 bytes (IPv4 as its IPv6-mapped form, so both families compare); nothing for text
// that is no address.
std::optional<std::array<unsigned char, 16>> AddressBytes(std::string_view address);

} // namespace vesk::api
