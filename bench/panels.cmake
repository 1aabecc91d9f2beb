# Status path benchmark: the kernel's handling of status notifications plus the status panel's
# refresh, offscreen.
if(benchmark_FOUND AND TARGET kavro_panels)
    add_executable(bench_statuspath ${CMAKE_CURRENT_LIST_DIR}/bench_statuspath.cpp)
    target_link_libraries(bench_statuspath PRIVATE kavro_panels benchmark::benchmark
                          Qt6::Widgets)
endif()
