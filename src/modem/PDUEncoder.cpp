#include "modem/PDUEncoder.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace vesk::modem {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Octets of the hex text; a pair that is not hex gives 0, a lone last digit is dropped.
std::vector<unsigned char> octetsOf(std::string_view hex)
{
    std::vector<unsigned char> octets;
    octets.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        octets.push_back(static_cast<unsigned char>(PDUEncoder::OctetDecode(hex.substr(i, 2))));
    return octets;
}

// The leading decimal digits of a time stamp pair, 0 when it starts with none.
int leadingNumber(std::string_view pair)
{
    int value = 0;
    for (char c : pair) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Two decimal digits of 0..99, tens first.
std::string twoDigits(int value)
{
    std::string s(2, '0');
    s[0] = static_cast<char>('0' + value / 10 % 10);
    s[1] = static_cast<char>('0' + value % 10);
    return s;
}

// A digit count rounded up to whole octets of semi-octets.
int evenDigits(int digits)
{
    return digits + (digits & 1);
}

// Length of the service-centre field in hex characters, with its length octet.
std::size_t serviceCentreWidth(std::string_view pdu)
{
    return 2 * static_cast<std::size_t>(PDUEncoder::OctetDecode(pdu.substr(0, 2))) + 2;
}

} // namespace

std::string PDUEncoder::Encode(std::string_view codes) const
{
    if (m_charWidth == 7)
        return Encode7BitFill(codes, 0);
    if (m_charWidth != 8)
        return {};
    std::string hex;
    hex.reserve(codes.size() * 2);
    for (char c : codes)
        hex += OctetEncode(static_cast<unsigned char>(c));
    return hex;
}

std::string PDUEncoder::Encode7BitFill(std::string_view codes, std::int16_t fillBits) const
{
    const std::size_t fill = fillBits > 0 ? static_cast<std::size_t>(fillBits) : 0;
    const std::size_t bits = fill + 7 * codes.size();
    std::string hex;
    hex.reserve((bits + 7) / 8 * 2);
    // Bits enter the accumulator at its top end of the pending ones, least significant first.
    unsigned accumulator = 0;
    unsigned pending = 0;
    auto flush = [&] {
        while (pending >= 8) {
            hex += kHexDigits[(accumulator >> 4) & 0xF];
            hex += kHexDigits[accumulator & 0xF];
            accumulator >>= 8;
            pending -= 8;
        }
    };
    for (std::size_t i = 0; i < fill / 8; ++i)
        hex += "00";
    pending = static_cast<unsigned>(fill % 8);
    for (char c : codes) {
        accumulator |= (static_cast<unsigned char>(c) & 0x7Fu) << pending;
        pending += 7;
        flush();
    }
    if (pending > 0) {
        pending = 8;
        flush();
    }
    return hex;
}

std::string PDUEncoder::Decode(std::string_view hex, std::int16_t septets) const
{
    if (m_charWidth != 7 || septets <= 0)
        return {};
    const std::vector<unsigned char> octets = octetsOf(hex);
    std::string text;
    text.reserve(static_cast<std::size_t>(septets));
    for (std::size_t k = 0; k < static_cast<std::size_t>(septets); ++k) {
        const std::size_t bit = 7 * k;
        const std::size_t first = bit / 8;
        const std::size_t last = (bit + 6) / 8;
        if (last >= octets.size())
            break;
        unsigned value = octets[first] >> (bit % 8);
        if (last != first)
            value |= static_cast<unsigned>(octets[last]) << (8 - bit % 8);
        value &= 0x7F;
        text += value == 0 ? '@' : static_cast<char>(value);
    }
    return text;
}

std::string PDUEncoder::StripSC(std::string_view pdu)
{
    const std::size_t width = serviceCentreWidth(pdu);
    return width <= pdu.size() ? std::string(pdu.substr(width)) : std::string();
}

int PDUEncoder::PDUType(std::string_view pdu)
{
    const std::size_t at = serviceCentreWidth(pdu);
    return at < pdu.size() ? OctetDecode(pdu.substr(at, 2)) : 0;
}

int PDUEncoder::SenderOffset(std::string_view pdu)
{
    return static_cast<int>(serviceCentreWidth(pdu)) + 3;
}

void PDUEncoder::SplitAddressFields(std::string_view field, std::uint8_t& typeOfAddress, std::string& address)
{
    typeOfAddress = 0;
    address.clear();
    const int digits = OctetDecode(field.substr(0, 2));
    if (digits == 0)
        return;
    typeOfAddress = static_cast<std::uint8_t>(OctetDecode(field.size() > 2 ? field.substr(2, 2) : ""));
    const std::string_view semiOctets = field.size() > 4
        ? field.substr(4, static_cast<std::size_t>(evenDigits(digits)))
        : std::string_view();
    address = DecodeAddress(semiOctets, digits);
}

int PDUEncoder::AddressFieldWidth(std::string_view field)
{
    return evenDigits(OctetDecode(field.substr(0, 2))) + 4;
}

std::string PDUEncoder::DecodeAddress(std::string_view semiOctets, int digitCount)
{
    std::string digits;
    digits.reserve(semiOctets.size());
    for (std::size_t i = 0; i < semiOctets.size(); i += 2)
        digits += Swap(semiOctets.substr(i, 2));
    if (digitCount < 0)
        digitCount = 0;
    if (digits.size() > static_cast<std::size_t>(digitCount))
        digits.resize(static_cast<std::size_t>(digitCount));
    return digits;
}

DateTime PDUEncoder::ParseTS(std::string_view stamp)
{
    if (stamp.size() < 12)
        return {};
    int field[6];
    for (int i = 0; i < 6; ++i)
        field[i] = leadingNumber(Swap(stamp.substr(static_cast<std::size_t>(2 * i), 2)));
    int year = field[0] < 30 ? 2000 + field[0] : 1900 + field[0];
    // Out-of-range months and days roll over into the next ones, as calendar arithmetic does.
    int month = field[1];
    year += (month - 1 < 0) ? -1 : (month - 1) / 12;
    month = ((month - 1) % 12 + 12) % 12 + 1;
    return DateTime::fromParts(year, month, 1)
        .addDays(field[2] - 1)
        .addSeconds(field[3] * 3600 + field[4] * 60 + field[5]);
}

std::string PDUEncoder::GSMTimeStamp(DateTime t, std::int16_t zoneHours)
{
    std::string stamp;
    stamp.reserve(14);
    stamp += Swap(twoDigits((t.year() % 100 + 100) % 100));
    stamp += Swap(twoDigits(t.month()));
    stamp += Swap(twoDigits(t.day()));
    stamp += Swap(twoDigits(t.hour()));
    stamp += Swap(twoDigits(t.minute()));
    stamp += Swap(twoDigits(t.second()));
    // Quarter-hours as two swapped digits; bit 3 of the octet (on the tens digit) marks west of UTC.
    const int quarters = std::min(std::abs(static_cast<int>(zoneHours)) * 4, 79);
    std::string zone = Swap(twoDigits(quarters));
    if (zoneHours < 0)
        zone[1] = kHexDigits[hexValue(zone[1]) | 0x8];
    stamp += zone;
    return stamp;
}

std::string PDUEncoder::Swap(std::string_view twoCharacters)
{
    if (twoCharacters.size() < 2)
        return std::string(twoCharacters);
    return {twoCharacters[1], twoCharacters[0]};
}

std::string PDUEncoder::OctetEncode(int value)
{
    const unsigned octet = static_cast<unsigned>(value) & 0xFFu;
    return {kHexDigits[octet >> 4], kHexDigits[octet & 0xF]};
}

int PDUEncoder::OctetDecode(std::string_view twoHex)
{
    if (twoHex.empty())
        return 0;
    int value = 0;
    for (char c : twoHex.substr(0, 2)) {
        const int digit = hexValue(c);
        if (digit < 0)
            return 0;
        value = value * 16 + digit;
    }
    return value;
}

} // namespace vesk::modem
