#pragma once

#include "modem/GSMMessage.h"
#include "modem/PDUEncoder.h"
#include "support/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>

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

// Fills the record from one listed PDU (service-centre field first): type, address, times,
// reference, status and text. `listedLength` is the listing's length field and is not used.
// Returns false when the unit ends before a field the decoding needs; the record then keeps
// whatever was read, and the listing should treat the unit as malformed.
bool ParsePDU(const std::string& pdu, int listedLength, GSMMessage& record);

// Decoders on the transfer unit without its service-centre field. False when the unit is short.
bool DecodeDeliver(const PDUEncoder& codec, std::string_view tpdu, GSMMessage& record);
bool DecodeStatusReport(const PDUEncoder& codec, std::string_view tpdu, GSMMessage& record);

} // namespace vesk::modem
