#include "store/SqlText.h"

#include "support/Convert.h"

#include <vector>

namespace vesk::store {

namespace {

bool isContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Byte offsets at which each character starts.
std::vector<std::size_t> characterStarts(std::string_view text)
{
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!isContinuation(text[i]))
            starts.push_back(i);
    return starts;
}

} // namespace

std::string Quote(std::string_view text)
{
    return ReplaceAll(std::string(text), "'", "''");
}

std::string Enclosed(std::string_view mark, std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2 * mark.size());
    out.append(mark).append(text).append(mark);
    return out;
}

std::string DateLiteral(DateTime t)
{
    return Enclosed("#", Format(t, "dd/mmm/yyyy hh:nn:ss"));
}

std::string BoolLiteral(bool v)
{
    return v ? "TRUE" : "FALSE";
}

std::string Left(std::string_view text, std::size_t n)
{
    const auto starts = characterStarts(text);
    if (starts.size() <= n)
        return std::string(text);
    return std::string(text.substr(0, starts[n]));
}

std::string Right(std::string_view text, std::size_t n)
{
    const auto starts = characterStarts(text);
    if (starts.size() <= n)
        return std::string(text);
    return std::string(text.substr(starts[starts.size() - n]));
}

} // namespace vesk::store
