# The web view on WebView2 (Windows only): the runtime is reached at run time,
# through the loader DLL beside the plug-in or the installed engine, so nothing
# of it is linked. The kit's log names the route taken.
if(WIN32)
  add_library(qk_platform_webview2 STATIC
    ${CMAKE_CURRENT_LIST_DIR}/../webview2/webview2_runtime.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../webview2/webview2_environment.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../webview2/webview2_web_view.cpp)
  target_include_directories(qk_platform_webview2 PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(qk_platform_webview2 PUBLIC qk_platform_core qk_kit PRIVATE ole32 advapi32 user32)
endif()
