#include "kit/json_access.h"

namespace qk {

namespace {
const Json* member(const Json& value, std::string_view key) {
    if (!value.is_object()) return nullptr;
    const auto it = value.find(key);
    return it == value.end() ? nullptr : &*it;
}
}  // namespace

std::optional<Json> parseJsonStrict(std::string_view text) {
    Json parsed = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false,
                              /*ignore_comments=*/false);
    if (parsed.is_discarded()) return std::nullopt;
    return parsed;
}

std::string getString(const Json& value, std::string_view key) {
    const Json* m = member(value, key);
    return (m != nullptr && m->is_string()) ? m->get_ref<const std::string&>() : std::string();
}

double getNumber(const Json& value, std::string_view key, double fallback) {
    const Json* m = member(value, key);
    return (m != nullptr && m->is_number()) ? m->get<double>() : fallback;
}

bool getBool(const Json& value, std::string_view key, bool fallback) {
    const Json* m = member(value, key);
    return (m != nullptr && m->is_boolean()) ? m->get<bool>() : fallback;
}

const Json* getObject(const Json& value, std::string_view key) {
    const Json* m = member(value, key);
    return (m != nullptr && m->is_object()) ? m : nullptr;
}

}  // namespace qk
