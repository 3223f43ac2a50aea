// Any request body, as POST /v1/messages and POST /v1/message-batches take it: it becomes outbox
// rows or a problem, never a crash. Every row it gives holds what the console would send: a
// number of "+" and digits, a text that is not blank and fits the outbox, and every problem a
// known type with its status.

#include "api/Problems.h"
#include "api/Validation.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace vesk::api;

void checkRows(const Rows& rows)
{
    for (const OutboxRow& r : rows) {
        if (r.to.size() < 2 || r.to[0] != '+' || r.to.find_first_not_of("0123456789", 1) != std::string::npos
            || r.text.find_first_not_of(" \t\r\n") == std::string::npos || r.parts < 1)
            std::abort();
    }
}

void checkProblem(const Problem& p)
{
    if (p.status != ProblemStatus(p.type) || p.status < 400 || ProblemTitle(p.type).empty())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);
    SubmitRules rules;
    rules.maxTextChars = 160;
    rules.now = 1900000000;
    rules.refusal = [](const std::string& n) -> std::optional<std::string> {
        if (n.rfind("+44", 0) == 0)
            return std::nullopt;
        return std::string("Recipient address failed Address Filtering.");
    };
    auto one = ValidateSubmit(body, rules);
    if (auto* rows = std::get_if<Rows>(&one))
        checkRows(*rows);
    else
        checkProblem(std::get<Problem>(one));
    auto batch = ValidateBatch(body, rules);
    if (auto* items = std::get_if<std::vector<BatchItem>>(&batch)) {
        for (const BatchItem& item : *items) {
            checkRows(item.rows);
            if (item.problem)
                checkProblem(*item.problem);
        }
    } else {
        checkProblem(std::get<Problem>(batch));
    }
    (void)ProblemJson(MakeProblem("invalid-json", body), "fuzz");
    return 0;
}
