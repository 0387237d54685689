# HTTP seam: libcurl.
find_package(CURL REQUIRED)
add_library(qk_platform_http STATIC ${CMAKE_CURRENT_LIST_DIR}/../curl/http_curl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../common/http_redirect.cpp)
target_include_directories(qk_platform_http PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qk_platform_http PUBLIC CURL::libcurl)
