// Any bytes a modem may send, handed to every reply reader and both listing readers: each gives
// its result or its neutral value, or raises ModemError where that is its documented way out;
// the framing of unsolicited lines as well.

#include "modem/AtReplies.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace vesk::modem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    (void)StripCRLF(reply);
    (void)StripAllCRLF(reply);
    (void)HasFinalResult(reply);
    (void)ParseMode(reply);
    (void)ParseTextModeSupported(reply);
    (void)ParseSIMOkay(reply);
    (void)ParseModel(reply);
    (void)ParseIMEI(reply);
    (void)ParseServiceCentre(reply);
    (void)ParseSelectedMemory(reply);
    (void)ParseMemoryReadable(reply);
    (void)ParseMessageCount(reply);
    (void)ParseSignalLevel(reply);
    (void)ParseNetwork(reply);
    (void)ParseSendReference(reply);
    try {
        (void)ParseBatteryLevel(reply);
    } catch (const ModemError&) {
    }
    try {
        (void)ParseNetworkRegistration(reply);
    } catch (const ModemError&) {
    }
    try {
        (void)ParseReportOffer(reply);
    } catch (const ModemError&) {
    }
    try {
        (void)ReadTextMode(reply);
    } catch (const ModemError&) {
    }
    try {
        (void)ReadPDUMode(reply);
    } catch (const ModemError&) {
    }
    // Read entry by entry, a listing never raises; framing leaves a reply without unsolicited
    // lines as it came.
    std::vector<UnreadableEntry> unreadable;
    (void)ReadTextMode(reply, &unreadable);
    (void)ReadPDUMode(reply, &unreadable);
    for (const bool textMode : {false, true}) {
        const FramedReply framed = SetAsideUnsolicited(reply, "AT+CMGL=4", textMode);
        if (framed.unsolicited.empty() && framed.reply != reply)
            __builtin_trap();
        if (framed.reply.size() > reply.size())
            __builtin_trap();
    }
    return 0;
}
