// A listed unit straight from the modem line: whatever it holds, decoding must end cleanly.

#include "modem/PDUEncoder.h"
#include "modem/PduUnits.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace vesk::modem;
using vesk::DateTime;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string pdu(reinterpret_cast<const char*>(data), size);
    GSMMessage record;
    (void)ParsePDU(pdu, static_cast<int>(size / 2), record);
    // A text never holds more septets than one length octet can announce.
    if (record.Text.size() > 255)
        __builtin_trap();
    // Read in full: at most 255 septets of up to three UTF-8 bytes each, or 255 octets as hex.
    GSMMessage full;
    (void)ParsePDU(pdu, static_cast<int>(size / 2), full, true);
    if (full.Text.size() > 765 || full.Address.size() > 255)
        __builtin_trap();
    (void)BuildAutoSubmitPDUs("+15550123", pdu, DateTime());

    // The field readers on their own, as a driver might call them on any slice.
    std::uint8_t type = 0;
    std::string address;
    PDUEncoder::SplitAddressFields(pdu, type, address);
    (void)PDUEncoder::AddressFieldWidth(pdu);
    (void)PDUEncoder::PDUType(pdu);
    (void)PDUEncoder::SenderOffset(pdu);
    (void)PDUEncoder::ParseTS(pdu);
    (void)PDUEncoder::DecodeAddress(pdu, static_cast<int>(size) - 3);
    return 0;
}
