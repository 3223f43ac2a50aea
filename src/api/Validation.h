#pragma once

#include "api/Problems.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vesk::api {

// What a submitted message is checked against: the rules the console applies before it sends.
struct SubmitRules
{
    int maxTextChars = 0; // the outbox's longest text; 0 or less for no limit
    std::int64_t now = 0; // Unix seconds
    // The address filter: the reason a number is refused, nothing when it is allowed.
    std::function<std::optional<std::string>(const std::string& number)> refusal;
};

inline constexpr std::size_t kMaxRecipients = 1000; // per message
inline constexpr std::size_t kMaxBatchItems = 1000;
inline constexpr std::size_t kMaxBatchRows = 10000; // recipients over a whole batch
inline constexpr std::size_t kMaxNameChars = 30; // what the outbox holds
inline constexpr std::size_t kMaxNumberChars = 30;
inline constexpr std::size_t kMaxClientRefChars = 128;
// A send time this far behind the server's clock still counts as now.
inline constexpr std::int64_t kPastGraceSeconds = 60;

// One outbox row to write: one recipient of one message.
struct OutboxRow
{
    std::string to;
    std::string text;
    std::string name;
    std::string clientRef;
    std::int64_t sendAt = 0; // Unix seconds; 0 for now
    std::int64_t expiresAt = 0; // 0 for none
    int parts = 1;
};

using Rows = std::vector<OutboxRow>;

// One message object (pointers below `at`, "" for the body itself) to its rows, or its problem.
std::variant<Rows, Problem> ValidateMessage(
    const nlohmann::json& message, const std::string& at, const SubmitRules& rules);
// A POST /v1/messages body.
std::variant<Rows, Problem> ValidateSubmit(std::string_view body, const SubmitRules& rules);

// A POST /v1/message-batches body, {"messages": [...]}: each item's rows or problem, in order; or
// one problem for the whole body.
struct BatchItem
{
    Rows rows;
    std::optional<Problem> problem;
};
std::variant<std::vector<BatchItem>, Problem> ValidateBatch(std::string_view body, const SubmitRules& rules);

// How many SMS parts a text takes: the 7-bit alphabet when every character has a place in it,
// else UCS2.
int EstimateParts(const std::string& text);

} // namespace vesk::api
