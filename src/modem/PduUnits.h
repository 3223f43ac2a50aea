#pragma once

#include "modem/GSMMessage.h"
#include "modem/PDUEncoder.h"
#include "support/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Building SMS-SUBMIT units and decoding listed units into GSMMessage records: the driver's
// coding steps, kept free of any port or modem state.
namespace vesk::modem {

// The complete SMS-SUBMIT unit, service-centre field "00" first. `convertedText` is the output of
// ToGSMCharset. An expiry later than the zero date adds an absolute validity period; a
// non-empty `userDataHeader` (hex) sets the header flag and is copied in front of the septets.
// `charWidth` is the driver's width: it only chooses the coding scheme octet (7: 00, 8: 04).
std::string BuildSubmitPDU(const std::string& destination, const std::string& convertedText,
    const DateTime& expiry, bool reportWanted, const std::string& userDataHeader, std::int16_t charWidth = 7);

// Two upper-case hex digits (the low octet of the value).
std::string HexByte(int value);

// Digits in pairs, each pair second digit first; an odd last digit becomes "F" and the digit.
std::string SemiOctets(std::string_view digits);

// The same unit with UCS2 user data (coding scheme 08): `units` are the UTF-16 code units of the
// text, and the user data length counts octets, the header's included.
std::string BuildUCS2SubmitPDU(const std::string& destination, std::u16string_view units,
    const DateTime& expiry, bool reportWanted, const std::string& userDataHeader);

// The units of an outbound text with the coding chosen by the text: the 7-bit alphabet with its
// extension table when every character has a place there (160 septets in one unit, 152 per part),
// UCS2 otherwise (70 code units in one unit, 67 per part). Parts carry the concatenation header
// with reference 0, and only the last asks for a status report. No units when more than 255
// parts would be needed.
struct AutoUnits
{
    std::uint8_t coding = 0; // 0 or 8, the coding scheme
    std::vector<std::string> pdus;
};
AutoUnits BuildAutoSubmitPDUs(
    const std::string& destination, const std::string& text, const DateTime& expiry);

// Fills the record from one listed PDU (service-centre field first): type, address, times,
// reference, status and text. `listedLength` is the listing's length field and is not used.
// Returns false when the unit ends before a field the decoding needs; the record then keeps
// whatever was read, and the listing should treat the unit as malformed. With `fullDecoding` a
// received message's coding scheme, user data header and alphanumeric sender are read (UTF-8
// text, concatenation fields); without it the text is unpacked as septets whatever it holds.
bool ParsePDU(const std::string& pdu, int listedLength, GSMMessage& record, bool fullDecoding = false);

// Decoders on the transfer unit without its service-centre field. False when the unit is short.
bool DecodeDeliver(const PDUEncoder& codec, std::string_view tpdu, GSMMessage& record);
bool DecodeDeliverFull(std::string_view tpdu, GSMMessage& record);
bool DecodeStatusReport(const PDUEncoder& codec, std::string_view tpdu, GSMMessage& record);

} // namespace vesk::modem
