// WinHTTP backend of the HTTP seam.
//
// Where a reader might expect otherwise:
// - WinHTTP's own redirect following is switched off (WINHTTP_DISABLE_REDIRECTS on
//   each request): it keeps a custom method, the body and every header across
//   steps. Redirects are followed here instead, one request per step, by the
//   shared rules of redirectedRequest, as in the libcurl backend; a relative
//   Location is resolved against the request's own address with UrlCombineW.
// - The four time-outs are WinHTTP's own phases, set on the session and again on
//   the request handle; the wait for the answer's headers gets the receive
//   time-out too, or a server that never answers would hold the request for
//   90 seconds on Windows and for ever under Wine.
// - The error number of a transport error is GetLastError taken right after the
//   call that failed (ERROR_WINHTTP_TIMEOUT 12002, ERROR_WINHTTP_CANNOT_CONNECT
//   12029); a redirect chain that never ends is ERROR_WINHTTP_REDIRECT_FAILED.
// - Proxy discovery and certificate checks are WinHTTP's defaults.
#include <windows.h>

#include <shlwapi.h>
#include <winhttp.h>

#include "platform/common/http_follow.h"
#include "platform/http.h"
#include "platform/win32/wide_path.h"

namespace qk::platform {
namespace {

using win32::narrow;
using win32::widen;

struct Handle {
    HINTERNET h = nullptr;
    explicit Handle(HINTERNET handle) : h(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h != nullptr) ::WinHttpCloseHandle(h);
    }
};

bool setTimeouts(HINTERNET h, int ms) {
    return ::WinHttpSetTimeouts(h, ms, ms, ms, ms) != FALSE;
}

// The wait for the answer's headers has a limit of its own beside the receive
// time-out (90 s by default on Windows, none under Wine): it gets the same.
bool setResponseTimeout(HINTERNET request, int ms) {
    DWORD value = static_cast<DWORD>(ms);
    return ::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &value, sizeof value) != FALSE;
}

// The raw Location header of the answer, empty when there is none.
std::wstring locationOf(HINTERNET request) {
    DWORD bytes = 0;
    ::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                          &bytes, WINHTTP_NO_HEADER_INDEX);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return {};
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                               WINHTTP_NO_HEADER_INDEX))
        return {};
    text.resize(bytes / sizeof(wchar_t));
    return text;
}

// A Location relative to the address it answered, made absolute.
std::string absoluteTarget(const HttpRequest& request, const std::wstring& location) {
    const std::wstring base = widen(std::string(request.secure ? "https://" : "http://") + request.host + ":" +
                                    std::to_string(request.port) + request.object);
    DWORD length = 0;
    wchar_t probe[1];
    ::UrlCombineW(base.c_str(), location.c_str(), probe, &length, 0);  // asks for the length
    if (length == 0) return {};
    std::wstring out(length, L'\0');
    DWORD written = length;
    if (FAILED(::UrlCombineW(base.c_str(), location.c_str(), out.data(), &written, 0))) return {};
    out.resize(written);
    return narrow(out);
}

}  // namespace

std::optional<HttpUrl> crackHttpUrl(std::string_view url) {
    if (url.empty()) return std::nullopt;
    const std::wstring text = widen(url);
    if (text.empty()) return std::nullopt;
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    // Lengths of -1 with no buffers: the call answers pointers into the text.
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!::WinHttpCrackUrl(text.c_str(), static_cast<DWORD>(text.size()), 0, &parts)) return std::nullopt;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return std::nullopt;
    if (parts.lpszHostName == nullptr || parts.dwHostNameLength == 0) return std::nullopt;
    HttpUrl out;
    out.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    out.host = narrow({parts.lpszHostName, parts.dwHostNameLength});
    out.port = parts.nPort;
    if (parts.lpszUrlPath != nullptr) out.path = narrow({parts.lpszUrlPath, parts.dwUrlPathLength});
    if (parts.lpszExtraInfo != nullptr) out.extra = narrow({parts.lpszExtraInfo, parts.dwExtraInfoLength});
    return out;
}

namespace {

// One request, redirects not followed; `location` receives the absolute address
// a redirect answer points to.
HttpResponse performOnce(const HttpRequest& request, std::string& location) {
    HttpResponse response;
    const std::wstring agent = widen(request.userAgent);
    Handle session(::WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0));
    if (session.h == nullptr) {
        response.outcome = HttpOutcome::SessionFailed;
        return response;
    }
    setTimeouts(session.h, request.timeoutMs);

    const std::wstring host = widen(request.host);
    Handle connection(::WinHttpConnect(session.h, host.c_str(), static_cast<INTERNET_PORT>(request.port), 0));
    if (connection.h == nullptr) {
        response.outcome = HttpOutcome::ConnectFailed;
        return response;
    }

    const std::wstring method = widen(request.method);
    const std::wstring object = widen(request.object);
    const DWORD flags = WINHTTP_FLAG_REFRESH | (request.secure ? WINHTTP_FLAG_SECURE : 0);
    Handle req(::WinHttpOpenRequest(connection.h, method.c_str(), object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                    WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    if (req.h == nullptr ||
        !::WinHttpSetOption(req.h, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects)) {
        response.outcome = HttpOutcome::RequestFailed;
        return response;
    }
    setTimeouts(req.h, request.timeoutMs);
    setResponseTimeout(req.h, request.timeoutMs);

    std::wstring headerBlock;
    for (const auto& [name, value] : request.headers) headerBlock += widen(name) + L": " + widen(value) + L"\r\n";
    const DWORD bodyLength = static_cast<DWORD>(request.body.size());
    void* body = request.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(request.body.data());
    const bool sent =
        headerBlock.empty()
            ? ::WinHttpSendRequest(req.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, body, bodyLength, bodyLength, 0)
            : ::WinHttpSendRequest(req.h, headerBlock.c_str(), static_cast<DWORD>(-1), body, bodyLength, bodyLength, 0);
    if (!sent || !::WinHttpReceiveResponse(req.h, nullptr)) {
        response.outcome = HttpOutcome::TransportError;
        response.errorNumber = ::GetLastError();
        return response;
    }

    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!::WinHttpQueryHeaders(req.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                               WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX))
        status = 0;
    response.outcome = HttpOutcome::Ok;
    response.status = static_cast<int>(status);

    // Chunk by chunk as WinHTTP has data; a broken transfer keeps what arrived.
    DWORD available = 0;
    while (::WinHttpQueryDataAvailable(req.h, &available) && available > 0) {
        const std::size_t start = response.body.size();
        try {
            response.body.resize(start + available);
        } catch (...) {
            response.body.resize(start);
            break;
        }
        DWORD read = 0;
        const bool ok = ::WinHttpReadData(req.h, response.body.data() + start, available, &read) != FALSE;
        response.body.resize(start + (ok ? read : 0));
        if (!ok || read == 0) break;
    }

    if (const std::wstring target = locationOf(req.h); !target.empty()) location = absoluteTarget(request, target);
    return response;
}

}  // namespace

HttpResponse performHttpRequest(const HttpRequest& request) {
    return followRedirects(request, performOnce, ERROR_WINHTTP_REDIRECT_FAILED);
}

}  // namespace qk::platform
