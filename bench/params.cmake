# Parameter text benchmark: reading plus writing the default parameter text.
if(benchmark_FOUND)
    add_executable(bench_params ${CMAKE_CURRENT_LIST_DIR}/bench_params.cpp)
    target_link_libraries(bench_params PRIVATE kavro_core benchmark::benchmark)
endif()
