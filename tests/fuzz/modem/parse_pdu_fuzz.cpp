// A listed unit straight from the modem line: whatever it holds, decoding must end cleanly.

#include "modem/PDUEncoder.h"
#include "modem/PduUnits.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace vesk::modem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string pdu(reinterpret_cast<const char*>(data), size);
    GSMMessage record;
    (void)ParsePDU(pdu, static_cast<int>(size / 2), record);
    // A text never holds more septets than one length octet can announce.
    if (record.Text.size() > 255)
        __builtin_trap();

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
