# The UI backend group (UI loop, windows, web views). Until the toolkit backend
# lands, the build carries the headless one.
add_library(qk_platform_ui STATIC ${CMAKE_CURRENT_SOURCE_DIR}/headless/ui_headless.cpp)
target_include_directories(qk_platform_ui PUBLIC ${PROJECT_SOURCE_DIR})
