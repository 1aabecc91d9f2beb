# GRBL streaming: a 1,000-line RAM program of short moves through the GRBL device and the GRBL
# peer on a pseudo-terminal; reports planner starvations and the host's CPU share.
add_executable(bench_grblstream ${CMAKE_CURRENT_LIST_DIR}/bench_grblstream.cpp)
target_link_libraries(bench_grblstream PRIVATE quenta grblpeer)
