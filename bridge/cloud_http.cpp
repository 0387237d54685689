#include "bridge/cloud_http.h"

#include <climits>
#include <cstdio>

#include "bridge/protocol.h"
#include "bridge/text_decode.h"

namespace qk::bridge {

namespace {

Json failure(const std::string& id, std::string message) {
    Json answer = makeAnswer(id, -1, std::move(message));
    answer["status"] = 0;
    answer["body"] = "";
    return answer;
}

// Every phase gets the same limit, never below a second. Values beyond a 32-bit
// integer saturate rather than wrap into a negative limit.
int timeoutFrom(const Json& request) {
    const double wanted = numberMember(request, "timeoutMs").value_or(kCloudDefaultTimeoutMs);
    if (!(wanted > kCloudMinimumTimeoutMs)) return kCloudMinimumTimeoutMs;
    if (wanted >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(wanted);
}

// Only ASCII letters change: a method is a token, and bytes of other scripts
// are passed on as the page wrote them.
std::string upperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

std::optional<platform::HttpRequest> cloudHttpRequestFrom(const Json& request) {
    const std::string url = stringMember(request, "url");
    if (url.empty()) return std::nullopt;
    std::optional<platform::HttpUrl> cracked = platform::crackHttpUrl(url);
    if (!cracked) return std::nullopt;

    platform::HttpRequest out;
    out.secure = cracked->secure;
    out.host = std::move(cracked->host);
    out.port = cracked->port;
    out.object = cracked->path + cracked->extra;
    if (out.object.empty()) out.object = "/";
    out.method = stringMember(request, "method");
    out.method = out.method.empty() ? std::string("GET") : upperAscii(std::move(out.method));
    // Members of a JSON object come in ascending name order, so the headers do too.
    if (const auto it = request.find("headers"); it != request.end() && it->is_object()) {
        for (const auto& [name, value] : it->items())
            if (value.is_string()) out.headers.emplace_back(name, value.get<std::string>());
    }
    out.body = stringMember(request, "body");
    out.timeoutMs = timeoutFrom(request);
    out.userAgent = kCloudUserAgent;
    return out;
}

Json runCloudRequest(const Json& request, const std::string& id) {
    const std::optional<platform::HttpRequest> outgoing = cloudHttpRequestFrom(request);
    if (!outgoing) return failure(id, "bad url");

    platform::HttpResponse response = platform::performHttpRequest(*outgoing);
    switch (response.outcome) {
        case platform::HttpOutcome::Ok: break;
        case platform::HttpOutcome::SessionFailed: return failure(id, "WinHttpOpen failed");
        case platform::HttpOutcome::ConnectFailed: return failure(id, "connect failed");
        case platform::HttpOutcome::RequestFailed: return failure(id, "open request failed");
        case platform::HttpOutcome::TransportError: {
            // The page knows this text from the Windows build, so it keeps its
            // shape; on this platform the number is libcurl's CURLcode (7 for a
            // refused connection, 28 for a time-out), not a Win32 error code.
            char text[96];
            std::snprintf(text, sizeof text, "transport error (win32 %lu)", response.errorNumber);
            return failure(id, text);
        }
    }
    // Any status is a success; the body reaches the page as text in any case,
    // read as ISO-8859-1 where it is not UTF-8.
    Json answer = makeAnswer(id, 0, "");
    answer["status"] = response.status;
    answer["body"] = DecodedText::decode(response.body).toUtf8();
    return answer;
}

}  // namespace qk::bridge
