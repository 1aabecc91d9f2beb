# G-code jobs on the GRBL device against the paced GRBL peer: the estimate against the run, the
# receive buffer, the library's CPU, and the dry run's ($C) bytes per second.
add_executable(bench_jobstream ${CMAKE_CURRENT_LIST_DIR}/bench_jobstream.cpp)
target_link_libraries(bench_jobstream PRIVATE quenta grblpeer)
