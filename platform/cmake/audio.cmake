# Audio decoding: FFmpeg (libavformat, libavcodec, libswresample, libavutil).
pkg_check_modules(QK_FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswresample libavutil)
add_library(qk_platform_audio STATIC ${CMAKE_CURRENT_LIST_DIR}/../ffmpeg/audio_decoder_ffmpeg.cpp)
target_include_directories(qk_platform_audio PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qk_platform_audio PUBLIC qk_platform_core PRIVATE PkgConfig::QK_FFMPEG)
