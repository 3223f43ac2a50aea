#include "api/JsonBody.h"

#include "store/Engine.h"

namespace vesk::api {

namespace {

// The deepest nesting of arrays and objects, strings skipped.
int nestingDepth(std::string_view text)
{
    int depth = 0, deepest = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

} // namespace

std::variant<nlohmann::json, Problem> ParseJsonBody(std::string_view body)
{
    if (body.size() > kMaxBodyBytes)
        return MakeProblem("body-too-large",
            "the body has " + std::to_string(body.size()) + " bytes; at most " + std::to_string(kMaxBodyBytes)
                + " are taken");
    std::string copy(body);
    if (store::RepairUtf8(copy))
        return MakeProblem("invalid-utf8", "the body holds bytes that are not UTF-8");
    if (nestingDepth(body) > kMaxJsonDepth)
        return MakeProblem(
            "too-deep", "arrays and objects nest at most " + std::to_string(kMaxJsonDepth) + " deep");
    nlohmann::json j = nlohmann::json::parse(body, nullptr, false);
    if (j.is_discarded())
        return MakeProblem("invalid-json", "the body is not a JSON document");
    if (!j.is_object())
        return MakeProblem("invalid-json", "the body must be a JSON object");
    return j;
}

std::string JsonText(const nlohmann::json& j)
{
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace vesk::api
