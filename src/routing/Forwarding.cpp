#include "routing/Forwarding.h"

#include "routing/PatternMatcher.h"
#include "store/ForwardRules.h"
#include "store/Lifecycle.h"
#include "store/Recordset.h"
#include "support/Convert.h"

namespace vesk::routing {
namespace {

void splitDestination(ForwardRule& match)
{
    std::size_t start = 0;
    while (start <= match.Destination.size()) {
        std::size_t comma = match.Destination.find(',', start);
        if (comma == std::string::npos)
            comma = match.Destination.size();
        const std::string part = match.Destination.substr(start, comma - start);
        start = comma + 1;
        if (Trim(part).empty())
            continue;
        if (part.find('@') != std::string::npos)
            match.MailRecipients += Trim(part) + ",";
        else
            match.PhoneDestinations.push_back(part);
    }
    if (!match.MailRecipients.empty())
        match.MailRecipients.pop_back();
}

} // namespace

bool MatchText(const std::string& text, const std::string& pattern, LogSink& log)
{
    try {
        const PatternMatcher matcher;
        return matcher.Test(ToLower(pattern), ToLower(text));
    } catch (const std::exception& e) {
        log.Log(icon::kError, "",
            "MatchText couldnot create a PatternMatcher. Allowing " + text.substr(0, 30) + " : " + e.what());
        return true;
    }
}

bool TryForwardRule(const std::string& sourceKey, const std::string& textKey, store::Recordset& rules,
    ForwardRule& match, LogSink& log)
{
    for (rules.MoveFirst(); !rules.IsEOF(); rules.MoveNext()) {
        const std::string source = TextOf(rules.Field("fwdSource"));
        const std::string stored = TextOf(rules.Field("fwdKeyword"));
        const std::string keyword = ToLower(stored);
        if (source != sourceKey)
            continue;
        const bool matched = (textKey == "*" && keyword == "*") || MatchText(textKey, keyword, log);
        if (!matched)
            continue;
        match.Found = true;
        match.Description = source + ":" + stored;
        match.SourceName = TextOf(rules.Field("fwdSourceName"));
        match.Destination = TextOf(rules.Field("fwdDestination"));
        return true;
    }
    return false;
}

bool FindForwardRule(
    store::Outbox& outbox, const std::string& sender, const std::string& text, ForwardRule& match)
{
    try {
        const std::string lowered = ToLower(text);
        auto rules = store::ForwardRuleRows(store::OutboxHandle(outbox), false);
        if (!rules)
            return false;
        const bool found = TryForwardRule(sender, lowered, *rules, match, outbox.log)
            || TryForwardRule(sender, "*", *rules, match, outbox.log)
            || TryForwardRule("*", lowered, *rules, match, outbox.log)
            || TryForwardRule("*", "*", *rules, match, outbox.log);
        if (found && !match.Destination.empty())
            splitDestination(match);
        rules->Close();
        return match.Found;
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "FindForwardRule", e);
        return false;
    }
}

std::string DisplayName(const ForwardRule& match, const Contact& contact)
{
    return match.SourceName.empty() ? contact.Name : match.SourceName;
}

std::string DisplayNumber(const ForwardRule& match, const Contact& contact, const std::string& sender)
{
    if (!match.SourceName.empty())
        return sender;
    return contact.IsPrivate ? "(Private Number)" : sender;
}

void ForwardMessage(store::Outbox& outbox, const ForwardTarget& target, const std::string& sender,
    const std::string& text, DateTime received)
{
    try {
        if (!outbox.settings.SMSForwarding)
            return;
        ForwardRule match;
        if (!FindForwardRule(outbox, sender, text, match)) {
            outbox.log.Log(
                icon::kWarning, "", "No forwarding rule matches " + sender + " " + text.substr(0, 20));
            return;
        }
        outbox.log.Log(icon::kInfo, sender, "Forward matched to " + match.Description);
        const Contact contact = LookupFriendlyName(outbox, sender);
        const std::string name = DisplayName(match, contact);
        const std::string number = DisplayNumber(match, contact, sender);

        for (const auto& entry : match.PhoneDestinations) {
            const std::string destination = Trim(entry);
            if (destination == target.agentAddress) {
                outbox.log.Log(icon::kWarning, "", "Will not forward messages to modem address");
                continue;
            }
            const std::string forward = "Forward from: " + name + "@" + number + " \"" + Trim(text) + "\"";
            const auto id = store::InsertMessage(
                outbox, "SMS Forward", destination, forward, outbox.clock.now(), target.station);
            if (id > 0)
                outbox.log.Log(icon::kInfo, destination,
                    "SMS Forward created from " + match.SourceName + "@" + sender + " to " + destination);
            else
                outbox.log.Log(icon::kError, destination,
                    "Could not create forward: " + store::OutboxHandle(outbox).LastError());
        }
        if (!match.MailRecipients.empty())
            ForwardByMail(outbox, target, text, received, match, contact);
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "ForwardMessage", e);
    }
}

void ForwardByMail(store::Outbox& outbox, const ForwardTarget& target, const std::string& text,
    DateTime received, const ForwardRule& match, const Contact& contact)
{
    try {
        const std::string name = DisplayName(match, contact);
        const std::string subject = "SMS From " + name + "@" + DisplayNumber(match, contact, contact.Address)
            + " at " + Format(received, "HH:NN");
        const bool queued = target.queueMail && target.queueMail(match.MailRecipients, subject, text);
        if (queued)
            outbox.log.Log(icon::kInfo, "",
                "Mail Forward created from " + name + "@" + contact.Address + " to " + match.MailRecipients);
        else
            outbox.log.Log(icon::kWarning, "",
                "Could not create mail message : " + store::OutboxHandle(outbox).LastError());
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "ForwardByMail", e);
    }
}

std::vector<ForwardRuleRow> LoadForwardRules(store::Outbox& outbox)
{
    std::vector<ForwardRuleRow> rows;
    try {
        auto rules = store::ForwardRuleRows(store::OutboxHandle(outbox), true);
        for (; rules && !rules->IsEOF(); rules->MoveNext())
            rows.push_back({TextOf(rules->Field("fwdSource")), TextOf(rules->Field("fwdSourceName")),
                TextOf(rules->Field("fwdKeyword")), TextOf(rules->Field("fwdDestination"))});
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "LoadForwardRules", e);
    }
    return rows;
}

bool SaveForwardRules(
    store::Outbox& outbox, const std::vector<ForwardRuleRow>& rows, const std::string& agentAddress)
{
    try {
        store::db& handle = store::OutboxHandle(outbox);
        const bool opened = !handle.IsConnected();
        if (opened && !handle.OpenDatabase(store::mode::kReadWriteShared))
            return false;
        bool ok = store::ClearForwardRules(handle);
        for (const auto& row : rows) {
            std::string source = Trim(row.Source);
            const std::string name = Trim(row.SourceName);
            const std::string keyword = Trim(row.Keyword);
            std::string destination = Trim(row.Destination);
            if (destination == agentAddress)
                destination.clear();
            if (source == "+")
                source.clear();
            if (source.empty() || destination.empty())
                continue;
            ok = store::AddForwardRule(handle, source, keyword, destination, name) && ok;
        }
        if (opened)
            handle.CloseDatabase();
        return ok;
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "SaveForwardRules", e);
        return false;
    }
}

} // namespace vesk::routing
