#include "modem/PduUnits.h"

namespace vesk::modem {

std::string BuildSubmitPDU(
    const std::string&, const std::string&, const DateTime&, bool, const std::string&, std::int16_t)
{
    return {};
}
std::string HexByte(int)
{
    return {};
}
std::string SemiOctets(std::string_view)
{
    return {};
}
bool ParsePDU(const std::string&, int, GSMMessage&)
{
    return false;
}
bool DecodeDeliver(const PDUEncoder&, std::string_view, GSMMessage&)
{
    return false;
}
bool DecodeStatusReport(const PDUEncoder&, std::string_view, GSMMessage&)
{
    return false;
}

} // namespace vesk::modem
