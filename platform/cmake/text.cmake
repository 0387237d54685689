# The overlay's 2D text and canvas backend: DirectWrite laying out and Direct2D
# drawing on a Direct3D 11 device of its own on Windows; Pango laying out and
# Cairo drawing elsewhere (colour emoji through fontconfig's colour fonts).
if(WIN32)
  add_library(qk_platform_text STATIC ${CMAKE_CURRENT_LIST_DIR}/../directwrite/text_canvas_directwrite.cpp)
  target_link_libraries(qk_platform_text PRIVATE d2d1 dwrite d3d11 dxguid uuid)
else()
  pkg_check_modules(QK_PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo cairo)
  add_library(qk_platform_text STATIC ${CMAKE_CURRENT_LIST_DIR}/../pango/text_canvas_pango.cpp)
  target_link_libraries(qk_platform_text PRIVATE PkgConfig::QK_PANGOCAIRO)
endif()
target_include_directories(qk_platform_text PUBLIC ${PROJECT_SOURCE_DIR})
