// Which redirects a request follows and what it carries to the new address: the
// rules browsers and the platform's own HTTP client keep, shared by every backend
// that follows redirects itself.
#include <algorithm>
#include <cctype>

#include "platform/common/http_follow.h"
#include "platform/http.h"

namespace qk::platform {
namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

void dropHeaders(HttpRequest& request, std::initializer_list<std::string_view> names) {
    std::erase_if(request.headers, [&](const auto& header) {
        return std::any_of(names.begin(), names.end(), [&](std::string_view n) { return equalsNoCase(header.first, n); });
    });
}

}  // namespace

std::optional<HttpRequest> redirectedRequest(const HttpRequest& from, int status, std::string_view target) {
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) return std::nullopt;
    std::optional<HttpUrl> url = crackHttpUrl(target);
    if (!url) return std::nullopt;               // another scheme: the redirect answer is the response
    if (from.secure && !url->secure) return std::nullopt;  // never down from https to http

    HttpRequest next = from;
    next.secure = url->secure;
    next.host = std::move(url->host);
    next.port = url->port;
    const std::size_t fragment = url->extra.find('#');
    next.object = url->path + url->extra.substr(0, fragment);
    if (next.object.empty()) next.object = "/";

    // 303 asks for the result with GET; after a POST, 301 and 302 do too, as browsers have it.
    const bool becomesGet = (status == 303 && from.method != "HEAD" && from.method != "GET") ||
                            ((status == 301 || status == 302) && from.method == "POST");
    if (becomesGet) {
        next.method = "GET";
        next.body.clear();
        dropHeaders(next, {"Content-Type", "Content-Length", "Content-Encoding", "Content-Language", "Content-Location"});
    }
    // Credentials are for the site they were given to.
    const bool sameSite = from.secure == next.secure && equalsNoCase(from.host, next.host) && from.port == next.port;
    if (!sameSite) dropHeaders(next, {"Authorization", "Cookie"});
    return next;
}

HttpResponse followRedirects(const HttpRequest& request, const HttpSingleRequest& once, unsigned long tooManyError) {
    HttpRequest current = request;
    for (int step = 0;; ++step) {
        std::string location;
        HttpResponse response = once(current, location);
        if (response.outcome != HttpOutcome::Ok || location.empty()) return response;
        std::optional<HttpRequest> next = redirectedRequest(current, response.status, location);
        if (!next) return response;
        if (step == kMaxRedirects) {
            HttpResponse tooMany;
            tooMany.errorNumber = tooManyError;
            return tooMany;
        }
        current = std::move(*next);
    }
}

}  // namespace qk::platform
