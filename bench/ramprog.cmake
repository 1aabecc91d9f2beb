# RAM program benchmarks: the check pass of a 100-line program and opening a 10,000-line
# program in the editor with highlighting and gutter (offscreen).
if(benchmark_FOUND)
    add_executable(bench_ramprog ${CMAKE_CURRENT_LIST_DIR}/bench_ramprog.cpp)
    target_link_libraries(bench_ramprog PRIVATE kavro_ramprog benchmark::benchmark
                          Qt6::Widgets)
endif()
