if(WIN32)
  # The overlay's GPU backend on Windows: Direct3D 11 with the host's device, the
  # shaders compiled at run time by the system's D3DCompiler_47.
  add_library(qk_platform_gpu STATIC ${CMAKE_CURRENT_SOURCE_DIR}/d3d11/gpu_d3d11.cpp)
  target_include_directories(qk_platform_gpu PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(qk_platform_gpu PUBLIC d3d11 d3dcompiler_47)
  return()
endif()
# The overlay's GPU backend: OpenGL 3.3 core through the host's current context
# (GLVND's libOpenGL). Which context that is, the host's GetDevice says.
find_package(OpenGL REQUIRED COMPONENTS OpenGL)
add_library(qk_platform_gpu STATIC ${CMAKE_CURRENT_SOURCE_DIR}/opengl/gpu_opengl.cpp)
target_include_directories(qk_platform_gpu PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qk_platform_gpu PUBLIC OpenGL::OpenGL)
