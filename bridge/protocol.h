// The page's request and answer format: member reading rules, the answer object,
// its serialization and the script that hands it to the page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kit/json_access.h"

namespace qk::bridge {

// Sent instead of an answer that cannot be serialized (a text that is not UTF-8).
inline constexpr std::string_view kSerializationFailedAnswer =
    R"x({"id":"0","hr":-1,"result":"(response serialization failed)"})x";

// The member's text when it is a JSON string, else empty. Never fails.
std::string stringMember(const Json& object, std::string_view key);
// Any JSON number counts; a member of another type is absent.
std::optional<double> numberMember(const Json& object, std::string_view key);
// Only a JSON boolean counts.
std::optional<bool> boolMember(const Json& object, std::string_view key);

// {"hr": hr, "id": id, "result": result}
Json makeAnswer(const std::string& id, int hr, std::string result);

// Compact text with members in ascending key order and every character outside
// ASCII written as \u escapes of its UTF-16 units. Nothing when a string is not
// valid UTF-8.
std::optional<std::string> serializeAnswer(const Json& value);
// The serialized answer, or the fixed failure text.
std::string serializeAnswerOrFallback(const Json& value);

// "window.qkResolve(" + text + ");"
std::string answerScript(std::string_view serialized);
// The answer script of the response, serialized in place (or of the fixed
// failure text): a "readfile" chunk is copied once, not twice.
std::string answerScriptFor(const Json& response);

}  // namespace qk::bridge
