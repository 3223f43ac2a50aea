#include "modem/EntryText.h"

namespace vesk::modem {

bool IsDialableAddress(std::string_view address)
{
    if (!address.empty() && address.front() == '+')
        address.remove_prefix(1);
    if (address.empty() || address.size() > 20)
        return false;
    for (const char c : address)
        if (!((c >= '0' && c <= '9') || c == '*' || c == '#'))
            return false;
    return true;
}

std::string WithoutControlCharacters(std::string_view text, std::size_t* count)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    if (count)
        *count = text.size() - out.size();
    return out;
}

} // namespace vesk::modem
