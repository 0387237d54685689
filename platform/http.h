// HTTP seam: one self-contained request (no connection, cookie or handle survives
// it), with the status and the body as bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qk::platform {

struct HttpUrl {
    bool secure = false;  // https
    std::string host;     // as written, IPv6 literals in brackets
    int port = 0;         // the scheme's default when the URL names none
    std::string path;     // may be empty
    std::string extra;    // query and fragment, with their leading '?' or '#'; may be empty
};

// Splits an absolute http or https URL; nothing when it is not one.
std::optional<HttpUrl> crackHttpUrl(std::string_view url);

struct HttpRequest {
    bool secure = false;
    std::string host;
    int port = 80;
    std::string object;  // path and query, at least "/"
    std::string method;  // as sent
    std::vector<std::pair<std::string, std::string>> headers;  // sent in this order
    std::string body;                                          // no body when empty
    int timeoutMs = 30000;  // for each phase: resolve, connect, send, receive
    std::string userAgent;
};

enum class HttpOutcome {
    Ok,              // a response arrived (any status); the body may be partial
    SessionFailed,   // the HTTP library could not start a session
    ConnectFailed,   // no connection object for the host
    RequestFailed,   // the request could not be prepared
    TransportError,  // sending or receiving failed before a response arrived
};

struct HttpResponse {
    HttpOutcome outcome = HttpOutcome::TransportError;
    unsigned long errorNumber = 0;  // the platform's error number for TransportError
    int status = 0;
    std::string body;
};

// Follows redirects (at most kMaxRedirects) by the rules of redirectedRequest; a
// redirect that is not followed is the response.
HttpResponse performHttpRequest(const HttpRequest& request);

inline constexpr int kMaxRedirects = 10;

// The request that a redirect answer (`status`, to the absolute URL `target`)
// leads to, or nothing when it is not followed: a status that is no redirect, a
// target that is not http or https, or a step down from https to http. 303, and
// 301 or 302 after a POST, continue as a GET without the body; on a move to
// another site (scheme, host or port) the credentials headers (Authorization,
// Cookie) stay behind.
std::optional<HttpRequest> redirectedRequest(const HttpRequest& from, int status, std::string_view target);

}  // namespace qk::platform
