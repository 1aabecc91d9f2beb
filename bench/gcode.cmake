# G-code jobs: a generated 1,000,000-line CAM-like job loaded (interpreted and checked) and run
# through the estimator; prints both times and the bytes held per line.
add_executable(bench_gcode ${CMAKE_CURRENT_LIST_DIR}/bench_gcode.cpp)
target_link_libraries(bench_gcode PRIVATE kavro_gcode)
