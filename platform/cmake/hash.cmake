# Hash seam: OpenSSL's EVP digests.
find_package(OpenSSL REQUIRED)
add_library(qk_platform_hash STATIC ${CMAKE_CURRENT_LIST_DIR}/../openssl/hash_openssl.cpp)
target_include_directories(qk_platform_hash PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qk_platform_hash PUBLIC OpenSSL::Crypto)
