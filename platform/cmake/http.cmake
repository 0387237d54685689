# HTTP seam: WinHTTP on Windows (shlwapi resolves relative redirect targets),
# libcurl elsewhere; both follow redirects by the shared rules.
if(WIN32)
  add_library(qk_platform_http STATIC ${CMAKE_CURRENT_LIST_DIR}/../winhttp/http_winhttp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../common/http_redirect.cpp)
  target_link_libraries(qk_platform_http PRIVATE winhttp shlwapi)
else()
  find_package(CURL REQUIRED)
  add_library(qk_platform_http STATIC ${CMAKE_CURRENT_LIST_DIR}/../curl/http_curl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../common/http_redirect.cpp)
  target_link_libraries(qk_platform_http PUBLIC CURL::libcurl)
endif()
target_include_directories(qk_platform_http PUBLIC ${PROJECT_SOURCE_DIR})
