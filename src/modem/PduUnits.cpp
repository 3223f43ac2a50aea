#include "modem/PduUnits.h"

#include "modem/GSMText.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace vesk::modem {

namespace {

// First octet of an SMS-SUBMIT and its flags.
constexpr int kSubmit = 0x01;
constexpr int kValidityAbsolute = 0x18;
constexpr int kStatusReportRequest = 0x20;
constexpr int kUserDataHeader = 0x40;

constexpr std::uint8_t kInternational = 0x91;
constexpr int kStampWidth = 14;

// Reads the address field at `pos` into the record and moves past it; false when the unit ends
// inside the field.
bool readAddress(std::string_view tpdu, std::size_t& pos, GSMMessage& record)
{
    if (pos + 4 > tpdu.size())
        return false;
    const std::string_view field = tpdu.substr(pos);
    std::uint8_t typeOfAddress = 0;
    std::string address;
    PDUEncoder::SplitAddressFields(field, typeOfAddress, address);
    record.Address = typeOfAddress == kInternational ? "+" + address : address;
    pos += static_cast<std::size_t>(PDUEncoder::AddressFieldWidth(field));
    return pos <= tpdu.size();
}

bool readOctet(std::string_view tpdu, std::size_t& pos, int& value)
{
    if (pos + 2 > tpdu.size())
        return false;
    value = PDUEncoder::OctetDecode(tpdu.substr(pos, 2));
    pos += 2;
    return true;
}

// Septet codes as packed from the first bit of the octets, as many as the octets hold up to `count`.
std::string unpackCodes(const std::vector<unsigned char>& octets, std::size_t count)
{
    std::string codes;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t bit = 7 * k, first = bit / 8, last = (bit + 6) / 8;
        if (last >= octets.size())
            break;
        unsigned value = octets[first] >> (bit % 8);
        if (last != first)
            value |= static_cast<unsigned>(octets[last]) << (8 - bit % 8);
        codes += static_cast<char>(value & 0x7F);
    }
    return codes;
}

std::vector<unsigned char> octetsOf(std::string_view hex)
{
    std::vector<unsigned char> octets;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        octets.push_back(static_cast<unsigned char>(PDUEncoder::OctetDecode(hex.substr(i, 2))));
    return octets;
}

std::string hexOf(const std::vector<unsigned char>& octets, std::size_t from)
{
    std::string hex;
    for (std::size_t i = from; i < octets.size(); ++i)
        hex += PDUEncoder::OctetEncode(octets[i]);
    return hex;
}

enum class Coding { Septets, Octets, UCS2 };

// The alphabet a data coding scheme names; compressed text counts as data.
Coding codingOf(int dcs)
{
    const int group = dcs >> 4;
    if (group <= 7) {
        if (dcs & 0x20)
            return Coding::Octets;
        switch ((dcs >> 2) & 3) {
        case 0:
            return Coding::Septets;
        case 2:
            return Coding::UCS2;
        default:
            return Coding::Octets;
        }
    }
    if (group == 0xE)
        return Coding::UCS2;
    if (group == 0xF)
        return (dcs & 0x04) ? Coding::Octets : Coding::Septets;
    return Coding::Septets; // waiting indications and the reserved groups
}

// Reads the elements of a user data header: concatenation fills the record's part fields,
// application ports make the message data.
void readHeader(const std::vector<unsigned char>& header, GSMMessage& record)
{
    for (std::size_t i = 0; i + 1 < header.size();) {
        const int iei = header[i];
        const std::size_t length = header[i + 1];
        const std::size_t at = i + 2;
        if (at + length > header.size())
            break;
        const bool concat8 = iei == 0x00 && length == 3, concat16 = iei == 0x08 && length == 4;
        if (concat8 || concat16) {
            const std::size_t k = concat8 ? at + 1 : at + 2;
            const int total = header[k], number = header[k + 1];
            if (total > 1 && number >= 1 && number <= total) {
                record.PartReference = concat8 ? header[at] : (header[at] << 8) | header[at + 1];
                record.PartReferenceType = static_cast<std::uint8_t>(iei);
                record.PartCount = static_cast<std::uint8_t>(total);
                record.PartNumber = static_cast<std::uint8_t>(number);
            }
        } else if (iei == 0x04 || iei == 0x05) {
            record.Binary = true;
        }
        i = at + length;
    }
}

} // namespace

// Everything in front of the user data length: service centre, first octet, reference,
// destination, protocol identifier, coding scheme and the validity period.
static std::string submitHead(const std::string& destination, const DateTime& expiry, bool reportWanted,
    bool withHeader, const char* codingScheme)
{
    const bool international = !destination.empty() && destination.front() == '+';
    const std::string digits = international ? destination.substr(1) : destination;
    const bool withExpiry = expiry > DateTime();

    int firstOctet = kSubmit;
    if (reportWanted)
        firstOctet += kStatusReportRequest;
    if (withExpiry)
        firstOctet += kValidityAbsolute;
    if (withHeader)
        firstOctet += kUserDataHeader;

    std::string pdu = "00";
    pdu += HexByte(firstOctet);
    pdu += "00";
    pdu += HexByte(static_cast<int>(digits.size()));
    pdu += international ? "91" : "81";
    pdu += SemiOctets(digits);
    pdu += "00";
    pdu += codingScheme;
    if (withExpiry)
        pdu += PDUEncoder::GSMTimeStamp(expiry, 0);
    return pdu;
}

std::string BuildSubmitPDU(const std::string& destination, const std::string& convertedText,
    const DateTime& expiry, bool reportWanted, const std::string& userDataHeader, std::int16_t charWidth)
{
    // The header occupies whole septets; fill bits pad it up to the next septet boundary.
    const int headerBits = static_cast<int>(userDataHeader.size() / 2) * 8;
    const int headerSeptets = (headerBits + 6) / 7;
    const int fillBits = headerSeptets * 7 - headerBits;

    std::string pdu = submitHead(
        destination, expiry, reportWanted, !userDataHeader.empty(), charWidth == 8 ? "04" : "00");
    pdu += HexByte(static_cast<int>(convertedText.size()) + headerSeptets);
    pdu += userDataHeader;
    pdu += PDUEncoder().Encode7BitFill(convertedText, static_cast<std::int16_t>(fillBits));
    return pdu;
}

std::string BuildUCS2SubmitPDU(const std::string& destination, std::u16string_view units,
    const DateTime& expiry, bool reportWanted, const std::string& userDataHeader)
{
    std::string pdu = submitHead(destination, expiry, reportWanted, !userDataHeader.empty(), "08");
    pdu += HexByte(static_cast<int>(userDataHeader.size() / 2 + 2 * units.size()));
    pdu += userDataHeader;
    pdu += UCS2Hex(units);
    return pdu;
}

AutoUnits BuildAutoSubmitPDUs(const std::string& destination, const std::string& text, const DateTime& expiry)
{
    constexpr std::size_t kSingleSeptets = 160, kPartSeptets = 152, kSingleUnits = 70, kPartUnits = 67;
    constexpr std::size_t kMostParts = 255;
    auto header = [](std::size_t total, std::size_t number) {
        return total == 1
            ? std::string()
            : "050003" + HexByte(0) + HexByte(static_cast<int>(total)) + HexByte(static_cast<int>(number));
    };
    AutoUnits units;
    if (const std::optional<std::string> codes = ToGSMAlphabet(text)) {
        const auto pieces = codes->size() <= kSingleSeptets ? std::vector<std::string> {*codes}
                                                            : SplitSeptets(*codes, kPartSeptets);
        for (std::size_t i = 0; i < pieces.size() && pieces.size() <= kMostParts; ++i)
            units.pdus.push_back(BuildSubmitPDU(
                destination, pieces[i], expiry, i + 1 == pieces.size(), header(pieces.size(), i + 1)));
        return units;
    }
    units.coding = 8;
    const std::u16string all = ToUTF16(text);
    const auto pieces
        = all.size() <= kSingleUnits ? std::vector<std::u16string> {all} : SplitUnits(all, kPartUnits);
    for (std::size_t i = 0; i < pieces.size() && pieces.size() <= kMostParts; ++i)
        units.pdus.push_back(BuildUCS2SubmitPDU(
            destination, pieces[i], expiry, i + 1 == pieces.size(), header(pieces.size(), i + 1)));
    return units;
}

std::string HexByte(int value)
{
    return PDUEncoder::OctetEncode(value);
}

std::string SemiOctets(std::string_view digits)
{
    std::string swapped;
    swapped.reserve(digits.size() + 1);
    std::size_t i = 0;
    for (; i + 1 < digits.size(); i += 2) {
        swapped += digits[i + 1];
        swapped += digits[i];
    }
    if (i < digits.size()) {
        swapped += 'F';
        swapped += digits[i];
    }
    return swapped;
}

bool ParsePDU(const std::string& pdu, int /*listedLength*/, GSMMessage& record, bool fullDecoding)
{
    const PDUEncoder codec;
    const std::string tpdu = PDUEncoder::StripSC(pdu);
    if (tpdu.size() < 2)
        return false;
    switch (PDUEncoder::OctetDecode(tpdu.substr(0, 2)) & 0x03) {
    case 0:
        record.MessageType = 0;
        return fullDecoding ? DecodeDeliverFull(tpdu, record) : DecodeDeliver(codec, tpdu, record);
    case 2:
        record.MessageType = 1;
        return DecodeStatusReport(codec, tpdu, record);
    default:
        record.MessageType = 2;
        return true;
    }
}

bool DecodeDeliver(const PDUEncoder& codec, std::string_view tpdu, GSMMessage& record)
{
    std::size_t pos = 2;
    if (!readAddress(tpdu, pos, record))
        return false;
    pos += 4; // protocol identifier and coding scheme: the text is read as septets whatever they say
    if (pos + kStampWidth > tpdu.size())
        return false;
    record.Time = PDUEncoder::ParseTS(tpdu.substr(pos, kStampWidth));
    record.DeliveryTime = record.Time;
    pos += kStampWidth;
    int septets = 0;
    if (!readOctet(tpdu, pos, septets))
        return false;
    if (septets == 0) {
        record.Text.clear();
        return true;
    }
    const std::string_view data = tpdu.substr(pos);
    record.Text = codec.Decode(data, static_cast<std::int16_t>(septets));
    const std::size_t octetsNeeded = (static_cast<std::size_t>(septets) * 7 + 7) / 8;
    return data.size() / 2 >= octetsNeeded;
}

bool DecodeDeliverFull(std::string_view tpdu, GSMMessage& record)
{
    int firstOctet = 0, digits = 0, typeOfAddress = 0, dcs = 0, length = 0;
    std::size_t pos = 0;
    if (!readOctet(tpdu, pos, firstOctet) || !readOctet(tpdu, pos, digits)
        || !readOctet(tpdu, pos, typeOfAddress))
        return false;
    const std::size_t addressWidth = static_cast<std::size_t>(digits + (digits & 1));
    if (pos + addressWidth > tpdu.size())
        return false;
    const std::string_view semiOctets = tpdu.substr(pos, addressWidth);
    if ((typeOfAddress & 0x70) == 0x50) {
        // Alphanumeric: the length counts semi-octets of packed septets.
        record.Address
            = FromGSMAlphabet(unpackCodes(octetsOf(semiOctets), static_cast<std::size_t>(digits) * 4 / 7));
    } else {
        std::string number = PDUEncoder::DecodeAddress(semiOctets, digits);
        for (char& c : number)
            if (c >= 'A' && c <= 'E')
                c = "*#abc"[c - 'A']; // the extra semi-octet values of dialling digits
        record.Address = (typeOfAddress & 0x70) == 0x10 ? "+" + number : number;
    }
    pos += addressWidth + 2; // the protocol identifier is not needed
    if (!readOctet(tpdu, pos, dcs) || pos + kStampWidth > tpdu.size())
        return false;
    record.Time = PDUEncoder::ParseTS(tpdu.substr(pos, kStampWidth));
    record.DeliveryTime = record.Time;
    pos += kStampWidth;
    if (!readOctet(tpdu, pos, length))
        return false;
    const Coding coding = codingOf(dcs);
    const std::vector<unsigned char> data = octetsOf(tpdu.substr(pos));
    const std::size_t octetsNeeded = coding == Coding::Septets
        ? (static_cast<std::size_t>(length) * 7 + 7) / 8
        : static_cast<std::size_t>(length);
    if (data.size() < octetsNeeded)
        return false;
    std::size_t headerOctets = 0;
    if ((firstOctet & 0x40) && !data.empty() && length > 0) {
        headerOctets = std::min<std::size_t>(data[0] + 1u, octetsNeeded);
        readHeader(
            std::vector<unsigned char>(data.begin() + 1, data.begin() + static_cast<long>(headerOctets)),
            record);
    }
    const std::vector<unsigned char> userData(data.begin(), data.begin() + static_cast<long>(octetsNeeded));
    if (coding == Coding::Octets || record.Binary) {
        record.Binary = true;
        record.Text = hexOf(userData, headerOctets);
    } else if (coding == Coding::UCS2) {
        record.Text = FromUCS2Octets(
            std::vector<unsigned char>(userData.begin() + static_cast<long>(headerOctets), userData.end()));
    } else {
        // The header and its fill bits take whole septets in front of the text.
        const std::size_t headerSeptets = (headerOctets * 8 + 6) / 7;
        const std::string codes = unpackCodes(userData, static_cast<std::size_t>(length));
        record.Text = codes.size() > headerSeptets ? FromGSMAlphabet(codes.substr(headerSeptets)) : "";
    }
    return true;
}

bool DecodeStatusReport(const PDUEncoder& /*codec*/, std::string_view tpdu, GSMMessage& record)
{
    std::size_t pos = 2;
    int reference = 0;
    if (!readOctet(tpdu, pos, reference))
        return false;
    record.id = reference;
    if (!readAddress(tpdu, pos, record))
        return false;
    pos += kStampWidth; // service-centre time stamp: the report's time is its discharge time
    if (pos + kStampWidth > tpdu.size())
        return false;
    record.DeliveryTime = PDUEncoder::ParseTS(tpdu.substr(pos, kStampWidth));
    pos += kStampWidth;
    int status = 0;
    if (!readOctet(tpdu, pos, status))
        return false;
    record.DeliveryStatus = status;
    return true;
}

} // namespace vesk::modem
