# Raw transfer benchmark: 128 KiB in 8193-byte frames with 1-byte replies through kavro-sim on
# a pseudo-terminal paced at 115200 baud (wall time against the line rate, CPU against wall).
if(benchmark_FOUND AND TARGET kavro-sim)
    add_executable(bench_rawtransfer ${CMAKE_CURRENT_LIST_DIR}/bench_rawtransfer.cpp)
    target_link_libraries(bench_rawtransfer PRIVATE quenta benchmark::benchmark)
    target_compile_definitions(bench_rawtransfer PRIVATE KAVRO_SIM_PATH="$<TARGET_FILE:kavro-sim>")
    add_dependencies(bench_rawtransfer kavro-sim)
endif()
