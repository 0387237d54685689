# The overlay's 2D text and canvas backend: Pango laying out, Cairo drawing
# (colour emoji through fontconfig's colour fonts).
pkg_check_modules(QK_PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo cairo)
add_library(qk_platform_text STATIC ${CMAKE_CURRENT_SOURCE_DIR}/pango/text_canvas_pango.cpp)
target_include_directories(qk_platform_text PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qk_platform_text PRIVATE PkgConfig::QK_PANGOCAIRO)
