#pragma once

#include "support/DateTime.h"

#include <cstdint>
#include <string>

namespace vesk::modem {

// One message on its way between the modem driver and the rest of the console: an outbound
// message before and after its send, a received message or a delivery report from a listing.
// Every field starts at its type's zero; the record has no behaviour of its own.
struct GSMMessage
{
    // 0 received message, 1 status report, 2 any other unit (a stored submit, a reserved type).
    std::int32_t MessageType = 0;
    // The modem's reference after a send (-1 when refused); in a status report the reference of
    // the message it reports on.
    std::int32_t id = 0;
    // Destination, originator or reported recipient; international numbers carry a leading "+".
    std::string Address;
    std::string Text;
    std::int16_t MemoryIndex = 0;
    // 0 received unread, 1 received read, 2 any other storage status.
    std::int32_t ReadStatus = 0;
    // Service-centre time stamp of a received message.
    DateTime Time;
    // Status octet of a delivery report.
    std::int32_t DeliveryStatus = 0;
    // Text-mode reports only: the same value as DeliveryStatus.
    std::int16_t ErrorCode = 0;
    // Discharge time of a report; for a message received in PDU mode the same as Time.
    DateTime DeliveryTime;
    std::uint8_t FragmentCount = 0;
    // End of the validity period of an outbound message; the zero date means none.
    DateTime Expires;
    // The modem's final answer to the send, without surrounding CR LF pairs.
    std::string ModemResult;
    // Coding scheme a send used: 0 the 7-bit alphabet, 8 UCS2.
    std::uint8_t DataCoding = 0;
    // A listed unit of a type the console does not handle: its header and unit as the modem
    // listed them, so it can be kept as it came.
    std::string Listed;

    // Read only by the full decoding of received units:
    // 8-bit data or a port-addressed message, held as hex text; it is neither answered nor forwarded.
    bool Binary = false;
    // One part of a long message: its reference (-1 when the unit is a message of its own), the
    // header element that carried it (0x00 8-bit reference, 0x08 16-bit), the part count and number.
    std::int32_t PartReference = -1;
    std::uint8_t PartReferenceType = 0;
    std::uint8_t PartCount = 0;
    std::uint8_t PartNumber = 0;
};

} // namespace vesk::modem
