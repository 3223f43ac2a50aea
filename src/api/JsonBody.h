#pragma once

#include "api/Problems.h"

#include <nlohmann/json.hpp>

#include <string_view>
#include <variant>

namespace vesk::api {

inline constexpr std::size_t kMaxBodyBytes = 1024 * 1024;
inline constexpr int kMaxJsonDepth = 32;

// A request body read as one JSON object: refused as too large, not UTF-8, nested deeper than
// kMaxJsonDepth, not JSON, or not an object, each with its own problem.
std::variant<nlohmann::json, Problem> ParseJsonBody(std::string_view body);

// Answer bodies: invalid UTF-8 from the database never breaks the JSON writer.
std::string JsonText(const nlohmann::json& j);

} // namespace vesk::api
