#pragma once

#include "support/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vesk::modem {

// Field-level coding of SMS transfer units held as hex text (two upper-case digits per octet).
// Stateless apart from the character width. Nothing here validates: short or malformed input
// gives empty or zero results, never a crash.
class PDUEncoder
{
public:
    // 7 selects the 7-bit default alphabet, 8 selects 8-bit data; other widths code nothing.
    std::int16_t CharWidth() const { return m_charWidth; }
    void setCharWidth(std::int16_t width) { m_charWidth = width; }

    // Width 7: the codes packed as septets; width 8: each byte as one octet; otherwise "".
    std::string Encode(std::string_view codes) const;
    // The codes packed as septets after `fillBits` zero bits (whatever the width).
    std::string Encode7BitFill(std::string_view codes, std::int16_t fillBits) const;
    // Width 7: `septets` septets unpacked from the hex data; 0 becomes "@", every other code stays
    // the byte with that value. Stops early when the data runs out. Other widths give "".
    std::string Decode(std::string_view hex, std::int16_t septets) const;

    // The PDU without its leading service-centre address field ("" when it is shorter than that).
    static std::string StripSC(std::string_view pdu);
    // The first octet of the transfer unit that follows the service-centre field.
    static int PDUType(std::string_view pdu);
    // 1-based position of the address length octet that follows the first octet.
    static int SenderOffset(std::string_view pdu);
    // Reads an address field (length octet in digits, type of address, semi-octet digits).
    static void SplitAddressFields(std::string_view field, std::uint8_t& typeOfAddress, std::string& address);
    // Hex characters the whole address field occupies: the digit count rounded up to even, plus 4.
    static int AddressFieldWidth(std::string_view field);
    // Semi-octets in reading order (each pair second character first), cut to `digitCount`.
    static std::string DecodeAddress(std::string_view semiOctets, int digitCount);
    // Seven swapped-digit octets (year to second, zone ignored) as a date-time; years 00-29 are
    // 2000-2029, 30-99 are 1930-1999.
    static DateTime ParseTS(std::string_view stamp);
    // Fourteen hex characters for the time with the zone given in hours (written in quarter-hours).
    static std::string GSMTimeStamp(DateTime t, std::int16_t zoneHours);
    // The two characters in reverse order.
    static std::string Swap(std::string_view twoCharacters);
    // Two upper-case hex digits of the low octet of the value.
    static std::string OctetEncode(int value);
    // The two hex digits as a number; a pair that is not hex reads as 0.
    static int OctetDecode(std::string_view twoHex);

private:
    std::int16_t m_charWidth = 7;
};

} // namespace vesk::modem
