# The UI backend group (UI loop, windows, web views, shell, monitors): GTK 3 and
# WebKitGTK 4.1 when they are installed, else the headless backend (no windows).
# On Windows: Win32 windows, monitors, shell and per-user values, one file per
# seam, with the web engine reached through platform/webview2/.
if(WIN32)
  add_library(qk_platform_ui STATIC ${CMAKE_CURRENT_SOURCE_DIR}/win32/ui_loop_win32.cpp
                                    ${CMAKE_CURRENT_SOURCE_DIR}/win32/window_win32.cpp
                                    ${CMAKE_CURRENT_SOURCE_DIR}/win32/monitors_win32.cpp
                                    ${CMAKE_CURRENT_SOURCE_DIR}/win32/shell_win32.cpp
                                    ${CMAKE_CURRENT_SOURCE_DIR}/win32/user_values_win32.cpp
                                    ${CMAKE_CURRENT_SOURCE_DIR}/common/monitor_layout.cpp)
  target_include_directories(qk_platform_ui PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(qk_platform_ui PUBLIC qk_platform_core qk_platform_webview2 user32 gdi32 shell32 ole32 uuid advapi32)
  return()
endif()
pkg_check_modules(QK_GTK IMPORTED_TARGET GLOBAL gtk+-3.0 webkit2gtk-4.1 x11)
if(QK_GTK_FOUND)
  add_library(qk_platform_ui STATIC ${CMAKE_CURRENT_SOURCE_DIR}/gtk/ui_gtk.cpp
                                    ${CMAKE_CURRENT_SOURCE_DIR}/common/monitor_layout.cpp
                                    ${CMAKE_CURRENT_SOURCE_DIR}/posix/module_dir_posix.cpp
                                    ${CMAKE_CURRENT_SOURCE_DIR}/posix/user_values_posix.cpp)
  target_link_libraries(qk_platform_ui PUBLIC PkgConfig::QK_GTK ${CMAKE_DL_LIBS})
else()
  add_library(qk_platform_ui STATIC ${CMAKE_CURRENT_SOURCE_DIR}/headless/ui_headless.cpp
                                    ${CMAKE_CURRENT_SOURCE_DIR}/common/monitor_layout.cpp
                                    ${CMAKE_CURRENT_SOURCE_DIR}/posix/module_dir_posix.cpp
                                    ${CMAKE_CURRENT_SOURCE_DIR}/posix/user_values_posix.cpp)
  target_link_libraries(qk_platform_ui PUBLIC ${CMAKE_DL_LIBS})
endif()
target_include_directories(qk_platform_ui PUBLIC ${PROJECT_SOURCE_DIR})
