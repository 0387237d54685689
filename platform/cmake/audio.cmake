# Audio decoding: Media Foundation's source reader on Windows (its DLLs are
# loaded at run time; mfuuid holds only the GUIDs), FFmpeg (libavformat,
# libavcodec, libswresample, libavutil) elsewhere.
if(WIN32)
  add_library(qk_platform_audio STATIC ${CMAKE_CURRENT_LIST_DIR}/../mediafoundation/audio_decoder_mf.cpp)
  target_link_libraries(qk_platform_audio PUBLIC qk_platform_core PRIVATE mfuuid ole32)
else()
  pkg_check_modules(QK_FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswresample libavutil)
  add_library(qk_platform_audio STATIC ${CMAKE_CURRENT_LIST_DIR}/../ffmpeg/audio_decoder_ffmpeg.cpp)
  target_link_libraries(qk_platform_audio PUBLIC qk_platform_core PRIVATE PkgConfig::QK_FFMPEG)
endif()
target_include_directories(qk_platform_audio PUBLIC ${PROJECT_SOURCE_DIR})
