# Program preview benchmarks: laying out a 100-line program and painting its preview into an
# 800x600 image, offscreen.
if(benchmark_FOUND)
    add_executable(bench_preview ${CMAKE_CURRENT_LIST_DIR}/bench_preview.cpp)
    target_link_libraries(bench_preview PRIVATE kavro_ramprog benchmark::benchmark
                          Qt6::Widgets)
endif()
