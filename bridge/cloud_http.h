// The page's one-off HTTP requests ("cloud_http"), each run on a thread of its own.
#pragma once

#include <optional>
#include <string>

#include "kit/json_access.h"
#include "platform/http.h"

namespace qk::bridge {

inline constexpr char kCloudUserAgent[] = "QuorvaleKaraoke/1.0";
inline constexpr int kCloudDefaultTimeoutMs = 30000;
inline constexpr int kCloudMinimumTimeoutMs = 1000;

// The request the page described, ready for the HTTP seam; nothing when its URL
// is empty or not an absolute http or https URL.
std::optional<platform::HttpRequest> cloudHttpRequestFrom(const Json& request);

// Performs the request the page described and builds its answer; blocking.
Json runCloudRequest(const Json& request, const std::string& id);

}  // namespace qk::bridge
