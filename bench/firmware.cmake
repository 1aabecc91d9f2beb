# Firmware transfer benchmark: 128 KiB against the in-process simulated bootloader and, when
# over kavro-sim's pseudo-terminal paced at 115200 baud.
if(benchmark_FOUND)
    add_executable(bench_firmware ${CMAKE_CURRENT_LIST_DIR}/bench_firmware.cpp)
    target_link_libraries(bench_firmware PRIVATE kavro_mainwnd benchmark::benchmark
                          Qt6::Widgets)
    target_compile_definitions(bench_firmware PRIVATE KAVRO_SIM_PATH="$<TARGET_FILE:kavro-sim>")
    add_dependencies(bench_firmware kavro-sim)
endif()
