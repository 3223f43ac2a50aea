#include "modem/PDUEncoder.h"

namespace vesk::modem {

std::string PDUEncoder::Encode(std::string_view) const
{
    return {};
}
std::string PDUEncoder::Encode7BitFill(std::string_view, std::int16_t) const
{
    return {};
}
std::string PDUEncoder::Decode(std::string_view, std::int16_t) const
{
    return {};
}
std::string PDUEncoder::StripSC(std::string_view)
{
    return {};
}
int PDUEncoder::PDUType(std::string_view)
{
    return 0;
}
int PDUEncoder::SenderOffset(std::string_view)
{
    return 0;
}
void PDUEncoder::SplitAddressFields(std::string_view, std::uint8_t& typeOfAddress, std::string& address)
{
    typeOfAddress = 0;
    address.clear();
}
int PDUEncoder::AddressFieldWidth(std::string_view)
{
    return 0;
}
std::string PDUEncoder::DecodeAddress(std::string_view, int)
{
    return {};
}
DateTime PDUEncoder::ParseTS(std::string_view)
{
    return {};
}
std::string PDUEncoder::GSMTimeStamp(DateTime, std::int16_t)
{
    return {};
}
std::string PDUEncoder::Swap(std::string_view)
{
    return {};
}
std::string PDUEncoder::OctetEncode(int)
{
    return {};
}
int PDUEncoder::OctetDecode(std::string_view)
{
    return 0;
}

} // namespace vesk::modem
