#include "modem/GSMCharset.h"

namespace vesk::modem {

std::string ToGSMCharset(std::string_view text)
{
    return std::string(text);
}
std::int16_t GSMLength(std::string_view)
{
    return 0;
}
bool IsGSMExtension(char32_t)
{
    return false;
}
bool IsGSMExtension(std::string_view)
{
    return false;
}
std::size_t characterCount(std::string_view text)
{
    return text.size();
}
std::string_view leadingCharacters(std::string_view text, std::size_t)
{
    return text;
}

} // namespace vesk::modem
