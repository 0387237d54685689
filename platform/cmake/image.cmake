# Picture decoding for the overlay's poller: GdkPixbuf with its loaders (PNG, JPEG,
# GIF and BMP built in, WebP through webp-pixbuf-loader).
pkg_check_modules(QK_GDKPIXBUF REQUIRED IMPORTED_TARGET gdk-pixbuf-2.0)
add_library(qk_platform_image STATIC ${CMAKE_CURRENT_SOURCE_DIR}/gdkpixbuf/image_decoder_gdkpixbuf.cpp)
target_include_directories(qk_platform_image PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qk_platform_image PRIVATE PkgConfig::QK_GDKPIXBUF)
