// Strict JSON parsing and typed member access. Anything of the wrong type counts
// as absent; nothing here throws.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace qk {

using Json = nlohmann::json;  // objects keep their members in ascending key order

// One complete JSON value with only white space after it, no comments.
std::optional<Json> parseJsonStrict(std::string_view text);

std::string getString(const Json& value, std::string_view key);
double getNumber(const Json& value, std::string_view key, double fallback);
bool getBool(const Json& value, std::string_view key, bool fallback);
const Json* getObject(const Json& value, std::string_view key);

}  // namespace qk
