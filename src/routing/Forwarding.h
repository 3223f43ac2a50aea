#pragma once

#include "routing/NameCache.h"
#include "store/Outbox.h"
#include "support/DateTime.h"

#include <functional>
#include <string>
#include <vector>

namespace vesk::store {
class Recordset;
}

namespace vesk::routing {

// The rule that decides where an inbound message goes.
struct ForwardRule
{
    bool Found = false;
    std::string Destination;
    std::vector<std::string> PhoneDestinations;
    std::string MailRecipients; // "a@x,b@y"
    std::string SourceName;
    std::string Description; // "source:keyword"
};

// One line of the rule grid: source, source name, keyword, destination.
struct ForwardRuleRow
{
    std::string Source;
    std::string SourceName;
    std::string Keyword;
    std::string Destination;
};

// Places a mail in the mail queue; the console wires it to its queue.
using MailQueuer
    = std::function<bool(const std::string& recipients, const std::string& subject, const std::string& body)>;

// What a forward needs from the console besides the outbox.
struct ForwardTarget
{
    std::string agentAddress; // the console's own number, never forwarded to
    std::string station; // written with every forward put in the outbox
    MailQueuer queueMail;
};

// The inbound message's sender, text and service-centre time.
void ForwardMessage(store::Outbox& outbox, const ForwardTarget& target, const std::string& sender,
    const std::string& text, DateTime received);
bool FindForwardRule(
    store::Outbox& outbox, const std::string& sender, const std::string& text, ForwardRule& match);
bool TryForwardRule(const std::string& sourceKey, const std::string& textKey, store::Recordset& rules,
    ForwardRule& match, LogSink& log);
bool MatchText(const std::string& text, const std::string& pattern, LogSink& log);
void ForwardByMail(store::Outbox& outbox, const ForwardTarget& target, const std::string& text,
    DateTime received, const ForwardRule& match, const Contact& contact);

// The name and number a forward shows for its sender.
std::string DisplayName(const ForwardRule& match, const Contact& contact);
std::string DisplayNumber(const ForwardRule& match, const Contact& contact, const std::string& sender);

// The rules for the configuration grid, in the order they are stored.
std::vector<ForwardRuleRow> LoadForwardRules(store::Outbox& outbox);
// Replaces every rule; rows without a source or a usable destination are dropped.
bool SaveForwardRules(
    store::Outbox& outbox, const std::vector<ForwardRuleRow>& rows, const std::string& agentAddress);

} // namespace vesk::routing
