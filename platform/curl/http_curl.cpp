// libcurl backend of the HTTP seam.
//
// How it differs from the Windows backend, where a reader might expect otherwise:
// - Time-outs: libcurl has no per-phase time-outs. Name resolution and connecting
//   share CURLOPT_CONNECTTIMEOUT_MS; sending and receiving are covered by an idle
//   timer in the progress callback that aborts when no byte moved in either
//   direction for the time-out. libcurl calls that callback at least about once
//   a second while it waits, so an idle time-out fires up to a second late.
// - The error number of a transport error is libcurl's CURLcode (a time-out is
//   CURLE_OPERATION_TIMEDOUT, 28; a refused connection CURLE_COULDNT_CONNECT, 7).
// - Redirects are followed here, one request per step, by the shared rules of
//   redirectedRequest (libcurl's own following keeps a custom method and every
//   header across steps). The proxy comes from the usual environment variables
//   (http_proxy, https_proxy, no_proxy) and certificates are verified against the
//   system's store: the same defaults the Windows request has.
// - A fragment in the URL never reaches the server.
#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>

#include "platform/common/http_follow.h"
#include "platform/http.h"

namespace qk::platform {
namespace {

void initOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct UrlHandle {
    CURLU* h = curl_url();
    ~UrlHandle() { curl_url_cleanup(h); }
    std::optional<std::string> part(CURLUPart what, unsigned flags = 0) const {
        char* text = nullptr;
        if (curl_url_get(h, what, &text, flags) != CURLUE_OK || text == nullptr) return std::nullopt;
        std::string s(text);
        curl_free(text);
        return s;
    }
};

struct Transfer {
    std::string body;
    curl_off_t lastDown = 0, lastUp = 0;
    std::chrono::steady_clock::time_point lastMove = std::chrono::steady_clock::now();
    std::chrono::milliseconds idleLimit{30000};
    bool idleTimedOut = false;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    try {
        t->body.append(data, size * count);
    } catch (...) {
        return 0;  // out of memory ends the transfer; what arrived so far stays
    }
    return size * count;
}

int onProgress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
    auto* t = static_cast<Transfer*>(user);
    const auto now = std::chrono::steady_clock::now();
    if (down != t->lastDown || up != t->lastUp) {
        t->lastDown = down;
        t->lastUp = up;
        t->lastMove = now;
        return 0;
    }
    if (now - t->lastMove > t->idleLimit) {
        t->idleTimedOut = true;
        return 1;  // abort
    }
    return 0;
}

}  // namespace

std::optional<HttpUrl> crackHttpUrl(std::string_view url) {
    initOnce();
    if (url.empty()) return std::nullopt;
    UrlHandle u;
    if (u.h == nullptr) return std::nullopt;
    const std::string text(url);
    if (curl_url_set(u.h, CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return std::nullopt;
    const auto scheme = u.part(CURLUPART_SCHEME);
    if (!scheme || (*scheme != "http" && *scheme != "https")) return std::nullopt;
    HttpUrl out;
    out.secure = *scheme == "https";
    const auto host = u.part(CURLUPART_HOST);
    if (!host || host->empty()) return std::nullopt;
    out.host = *host;
    const auto port = u.part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
    out.port = port ? std::atoi(port->c_str()) : (out.secure ? 443 : 80);
    out.path = u.part(CURLUPART_PATH).value_or("");
    if (const auto q = u.part(CURLUPART_QUERY)) out.extra += "?" + *q;
    if (const auto f = u.part(CURLUPART_FRAGMENT)) out.extra += "#" + *f;
    return out;
}

namespace {

// One request, redirects not followed; `location` receives the absolute address
// a redirect answer points to.
HttpResponse performOnce(const HttpRequest& request, std::string& location) {
    HttpResponse response;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
    if (!easy) {
        response.outcome = HttpOutcome::SessionFailed;
        return response;
    }
    CURL* h = easy.get();
    const std::string url = std::string(request.secure ? "https://" : "http://") + request.host + ":" +
                            std::to_string(request.port) + request.object;

    curl_slist* headers = nullptr;
    bool pageSetContentType = false;
    for (const auto& [name, value] : request.headers) {
        // "Name:" would remove a header in libcurl; "Name;" sends it empty.
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        headers = curl_slist_append(headers, line.c_str());
        if (curl_strequal(name.c_str(), "Content-Type")) pageSetContentType = true;
    }
    // libcurl adds headers of its own for bodies; the request carries only the page's.
    if (!pageSetContentType) headers = curl_slist_append(headers, "Content-Type:");
    headers = curl_slist_append(headers, "Expect:");
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(headers, curl_slist_free_all);

    Transfer transfer;
    transfer.idleLimit = std::chrono::milliseconds(request.timeoutMs);
    bool ok = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_USERAGENT, request.userAgent.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.timeoutMs)) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList.get()) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer) == CURLE_OK;
    if (request.method == "HEAD") {
        ok = ok && curl_easy_setopt(h, CURLOPT_NOBODY, 1L) == CURLE_OK;
    } else if (request.method != "GET" || !request.body.empty()) {
        ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                                    static_cast<curl_off_t>(request.body.size())) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data()) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str()) == CURLE_OK;
    }
    if (!ok) {
        response.outcome = HttpOutcome::RequestFailed;
        return response;
    }

    const CURLcode rc = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (rc == CURLE_OK || status > 0) {
        // Once a response has begun, a broken or stalled transfer keeps what arrived.
        response.outcome = HttpOutcome::Ok;
        response.status = static_cast<int>(status);
        response.body = std::move(transfer.body);
        char* target = nullptr;
        if (curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &target) == CURLE_OK && target != nullptr) location = target;
        return response;
    }
    response.outcome = HttpOutcome::TransportError;
    response.errorNumber =
        static_cast<unsigned long>(transfer.idleTimedOut ? CURLE_OPERATION_TIMEDOUT : rc);
    return response;
}

}  // namespace

HttpResponse performHttpRequest(const HttpRequest& request) {
    initOnce();
    return followRedirects(request, performOnce, CURLE_TOO_MANY_REDIRECTS);
}

}  // namespace qk::platform
