# The job-time estimator: 1,000,000 synthetic CAM lines (contours of short chords, straight
# cuts, plunges and rapids); prints the wall time, the time per line and the heap per line.
add_executable(bench_estimator ${CMAKE_CURRENT_LIST_DIR}/bench_estimator.cpp)
target_link_libraries(bench_estimator PRIVATE kavro_gcode)
