// The page's one-off HTTP requests ("cloud_http"), each run on a thread of its own.
#pragma once

#include <string>

#include "kit/json_access.h"

namespace qk::bridge {

// Performs the request the page described and builds its answer; blocking.
Json runCloudRequest(const Json& request, const std::string& id);

}  // namespace qk::bridge
