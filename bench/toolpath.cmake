# Toolpath view: a generated CAM-like job of 1,000,000 segments: its geometry built, and frames
# of the 3D view drawn (needs a display with OpenGL, e.g. Xvfb with Mesa's llvmpipe).
add_executable(bench_toolpath ${CMAKE_CURRENT_LIST_DIR}/bench_toolpath.cpp)
target_link_libraries(bench_toolpath PRIVATE kavro_toolpath Qt6::Widgets Qt6::Test)
