#include "api/AddressRange.h"

#include "support/Convert.h"

#include <arpa/inet.h>
#include <cstring>

namespace vesk::api {

std::optional<std::array<unsigned char, 16>> AddressBytes(std::string_view address)
{
    const std::string text(address);
    std::array<unsigned char, 16> out {};
    in_addr v4 {};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        out[10] = out[11] = 0xFF;
        std::memcpy(out.data() + 12, &v4, 4);
        return out;
    }
    in6_addr v6 {};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        std::memcpy(out.data(), &v6, 16);
        return out;
    }
    return std::nullopt;
}

std::optional<AddressRange> AddressRange::Parse(std::string_view text)
{
    const std::string t = Trim(text);
    const auto slash = t.find('/');
    const auto bytes = AddressBytes(t.substr(0, slash));
    if (!bytes)
        return std::nullopt;
    AddressRange r;
    r.m_bytes = *bytes;
    r.m_v6 = t.substr(0, slash).find(':') != std::string::npos;
    const int most = r.m_v6 ? 128 : 32;
    r.m_prefix = most;
    if (slash != std::string::npos) {
        const auto n = ToNumber(t.substr(slash + 1));
        if (!n || *n < 0 || *n > most || *n != static_cast<int>(*n) || t.size() == slash + 1)
            return std::nullopt;
        r.m_prefix = static_cast<int>(*n);
    }
    // IPv4 prefixes count within the mapped form's last 32 bits.
    if (!r.m_v6)
        r.m_prefix += 96;
    r.m_text = t;
    return r;
}

std::optional<std::vector<AddressRange>> AddressRange::ParseList(std::string_view text)
{
    std::vector<AddressRange> out;
    std::string rest(text);
    while (!Trim(rest).empty()) {
        const auto comma = rest.find(',');
        const auto range = Parse(rest.substr(0, comma));
        if (!range)
            return std::nullopt;
        out.push_back(*range);
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    }
    return out;
}

bool AddressRange::Contains(std::string_view address) const
{
    const auto bytes = AddressBytes(address);
    if (!bytes)
        return false;
    for (int bit = 0; bit < m_prefix; ++bit) {
        const int mask = 0x80 >> (bit % 8);
        if (((*bytes)[static_cast<std::size_t>(bit / 8)] & mask)
            != (m_bytes[static_cast<std::size_t>(bit / 8)] & mask))
            return false;
    }
    return true;
}

} // namespace vesk::api
