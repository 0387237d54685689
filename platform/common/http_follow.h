// For the HTTP backends that follow redirects themselves: the loop over single
// requests, by the rules of redirectedRequest.
#pragma once

#include <functional>
#include <string>

#include "platform/http.h"

namespace qk::platform {

// One request with redirects not followed; `location` receives the absolute
// address a redirect answer points to, and stays empty otherwise.
using HttpSingleRequest = std::function<HttpResponse(const HttpRequest&, std::string& location)>;

// Runs `once` until an answer is not a redirect that is followed; after
// kMaxRedirects steps, a transport error with `tooManyError`.
HttpResponse followRedirects(const HttpRequest& request, const HttpSingleRequest& once, unsigned long tooManyError);

}  // namespace qk::platform
