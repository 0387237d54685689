// Base64url text (the URL-safe alphabet, no '=' padding), as the page's digest
// answers use it.
#pragma once

#include <string>
#include <string_view>

namespace qk::bridge {

std::string base64UrlEncode(std::string_view bytes);

}  // namespace qk::bridge
