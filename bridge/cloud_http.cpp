#include "bridge/cloud_http.h"

#include "bridge/protocol.h"

namespace qk::bridge {

// This build has no HTTP client yet: every request fails the way a request that
// cannot be sent does, so the page takes its offline path.
Json runCloudRequest(const Json& /*request*/, const std::string& id) {
    Json answer = makeAnswer(id, -1, "cloud_http unavailable");
    answer["status"] = 0;
    answer["body"] = "";
    return answer;
}

}  // namespace qk::bridge
