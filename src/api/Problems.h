#pragma once

#include "api/Http.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace vesk::api {

// A refusal as a value: an RFC 9457 problem. Its type names the kind of problem, stable across
// versions; its title is the same for every problem of that type.
struct FieldError
{
    std::string pointer; // JSON Pointer into the request body
    std::string reason;
    std::string type; // the kind of this one error
};

struct Problem
{
    int status = 500;
    std::string type; // the short name, "invalid-number"; the document carries "/problems/" + it
    std::string detail;
    std::vector<FieldError> errors;
    std::vector<std::pair<std::string, std::string>> headers;
};

// A problem of a known type, with the status that type has.
Problem MakeProblem(std::string_view type, std::string detail);
// A 422 for one field of the body.
Problem FieldProblem(std::string_view type, std::string pointer, std::string reason);
// Several field errors: the type of the first when all share it, else "invalid-request".
Problem FieldProblems(std::vector<FieldError> errors);

std::string ProblemTypeUri(std::string_view type);
std::string_view ProblemTitle(std::string_view type);
int ProblemStatus(std::string_view type);

// The problem as its JSON object (for batch items) and as an application/problem+json answer.
nlohmann::json ProblemObject(const Problem& p, const std::string& requestId);
std::string ProblemJson(const Problem& p, const std::string& requestId);
Response ProblemResponse(const Problem& p, const std::string& requestId);

} // namespace vesk::api
