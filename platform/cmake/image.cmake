# Picture decoding for the overlay's poller: the Windows Imaging Component on
# Windows; GdkPixbuf with its loaders elsewhere (PNG, JPEG, GIF and BMP built in,
# WebP through webp-pixbuf-loader).
if(WIN32)
  add_library(qk_platform_image STATIC ${CMAKE_CURRENT_LIST_DIR}/../wic/image_decoder_wic.cpp)
  target_link_libraries(qk_platform_image PRIVATE windowscodecs ole32 uuid)
else()
  pkg_check_modules(QK_GDKPIXBUF REQUIRED IMPORTED_TARGET gdk-pixbuf-2.0)
  add_library(qk_platform_image STATIC ${CMAKE_CURRENT_LIST_DIR}/../gdkpixbuf/image_decoder_gdkpixbuf.cpp)
  target_link_libraries(qk_platform_image PRIVATE PkgConfig::QK_GDKPIXBUF)
endif()
target_include_directories(qk_platform_image PUBLIC ${PROJECT_SOURCE_DIR})
