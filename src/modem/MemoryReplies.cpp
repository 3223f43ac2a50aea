#include "modem/MemoryReplies.h"

#include "modem/AtReplies.h"
#include "support/Convert.h"

#include <cctype>

namespace vesk::modem {

namespace {

std::optional<int> wholeNumber(std::string_view text)
{
    const std::string t = TrimSpaces(text);
    if (t.empty() || t.size() > 6 || t.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(t);
}

// The information of a reply to a query: its text after "+XXX:" when it ends in OK.
std::optional<std::string> information(std::string_view reply, std::string_view prefix)
{
    std::string text = StripCRLF(reply);
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "OK") != 0)
        return std::nullopt;
    text = TrimSpaces(RemoveCRLF(text.substr(0, text.size() - 2)));
    if (text.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    return TrimSpaces(text.substr(prefix.size()));
}

// "0,1,2" or "0-2" or a mix, as the values of one parameter.
std::optional<std::set<int>> valueList(std::string_view text)
{
    std::set<int> values;
    if (TrimSpaces(text).empty())
        return values;
    for (const std::string& piece : SplitFields(text)) {
        const auto dash = piece.find('-');
        if (dash == std::string::npos) {
            const auto v = wholeNumber(piece);
            if (!v)
                return std::nullopt;
            values.insert(*v);
            continue;
        }
        const auto from = wholeNumber(piece.substr(0, dash));
        const auto to = wholeNumber(piece.substr(dash + 1));
        if (!from || !to || *to < *from || *to - *from > 255)
            return std::nullopt;
        for (int v = *from; v <= *to; ++v)
            values.insert(v);
    }
    return values;
}

} // namespace

std::vector<MemoryUse> ParseMemoryUse(std::string_view reply)
{
    const auto info = information(reply, "+CPMS:");
    if (!info)
        return {};
    const auto fields = SplitFields(*info);
    std::vector<MemoryUse> groups;
    for (std::size_t g = 0; g + 2 < fields.size(); g += 3) {
        const auto used = wholeNumber(fields[g + 1]);
        const auto total = wholeNumber(fields[g + 2]);
        if (!used || !total)
            return {};
        groups.push_back({TrimSpaces(RemoveQuotes(fields[g])), *used, *total});
    }
    return groups;
}

std::optional<RoutingOffer> ParseRoutingOffer(std::string_view reply)
{
    const auto info = information(reply, "+CNMI:");
    if (!info || info->empty() || info->front() != '(')
        return std::nullopt;
    RoutingOffer offer;
    std::string_view rest = *info;
    while (!rest.empty()) {
        if (rest.front() != '(')
            return std::nullopt;
        const auto close = rest.find(')');
        if (close == std::string_view::npos)
            return std::nullopt;
        auto values = valueList(rest.substr(1, close - 1));
        if (!values)
            return std::nullopt;
        offer.values.push_back(std::move(*values));
        rest.remove_prefix(close + 1);
        while (!rest.empty() && (rest.front() == ',' || rest.front() == ' '))
            rest.remove_prefix(1);
    }
    return offer;
}

int ParseReportRouting(std::string_view reply)
{
    const auto info = information(reply, "+CNMI:");
    if (!info)
        return -1;
    const auto fields = SplitFields(*info);
    if (fields.size() < 4)
        return -1;
    return wholeNumber(fields[3]).value_or(-1);
}

std::optional<Announcement> ParseAnnouncement(std::string_view line)
{
    const std::string text = TrimSpaces(line);
    std::string_view rest = text;
    if (rest.substr(0, 6) != "+CMTI:" && rest.substr(0, 6) != "+CDSI:")
        return std::nullopt;
    const auto fields = SplitFields(rest.substr(6));
    if (fields.size() < 2)
        return std::nullopt;
    const auto index = wholeNumber(fields[1]);
    if (!index)
        return std::nullopt;
    return Announcement {TrimSpaces(RemoveQuotes(fields[0])), *index, rest.substr(0, 6) == "+CDSI:"};
}

bool IsMemoryFullAnswer(std::string_view answer)
{
    return answer.find("+CMS ERROR: 322") != std::string_view::npos;
}

} // namespace vesk::modem
