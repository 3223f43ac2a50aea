// Any bytes a modem may send, handed to every reply reader and both listing readers: each gives
// its result or its neutral value, or raises ModemError where that is its documented way out.

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
    return 0;
}
