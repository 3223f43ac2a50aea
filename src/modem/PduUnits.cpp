#include "modem/PduUnits.h"

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

} // namespace

std::string BuildSubmitPDU(const std::string& destination, const std::string& convertedText,
    const DateTime& expiry, bool reportWanted, const std::string& userDataHeader, std::int16_t charWidth)
{
    const bool international = !destination.empty() && destination.front() == '+';
    const std::string digits = international ? destination.substr(1) : destination;
    const bool withExpiry = expiry > DateTime();
    const bool withHeader = !userDataHeader.empty();

    int firstOctet = kSubmit;
    if (reportWanted)
        firstOctet += kStatusReportRequest;
    if (withExpiry)
        firstOctet += kValidityAbsolute;
    if (withHeader)
        firstOctet += kUserDataHeader;

    // The header occupies whole septets; fill bits pad it up to the next septet boundary.
    const int headerBits = static_cast<int>(userDataHeader.size() / 2) * 8;
    const int headerSeptets = (headerBits + 6) / 7;
    const int fillBits = headerSeptets * 7 - headerBits;

    std::string pdu = "00";
    pdu += HexByte(firstOctet);
    pdu += "00";
    pdu += HexByte(static_cast<int>(digits.size()));
    pdu += international ? "91" : "81";
    pdu += SemiOctets(digits);
    pdu += "00";
    pdu += charWidth == 8 ? "04" : "00";
    if (withExpiry)
        pdu += PDUEncoder::GSMTimeStamp(expiry, 0);
    pdu += HexByte(static_cast<int>(convertedText.size()) + headerSeptets);
    pdu += userDataHeader;
    pdu += PDUEncoder().Encode7BitFill(convertedText, static_cast<std::int16_t>(fillBits));
    return pdu;
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

bool ParsePDU(const std::string& pdu, int /*listedLength*/, GSMMessage& record)
{
    const PDUEncoder codec;
    const std::string tpdu = PDUEncoder::StripSC(pdu);
    if (tpdu.size() < 2)
        return false;
    switch (PDUEncoder::OctetDecode(tpdu.substr(0, 2)) & 0x03) {
    case 0:
        record.MessageType = 0;
        return DecodeDeliver(codec, tpdu, record);
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
