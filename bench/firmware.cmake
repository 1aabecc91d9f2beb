# Firmware transfer benchmark: 128 KiB against the in-process simulated bootloader and, when
# kavro-sim is built, over a pseudo-terminal paced at 115200 baud.
if(benchmark_FOUND AND TARGET kavro_mainwnd)
    add_executable(bench_firmware ${CMAKE_CURRENT_LIST_DIR}/bench_firmware.cpp)
    target_link_libraries(bench_firmware PRIVATE kavro_mainwnd benchmark::benchmark
                          Qt6::Widgets)
    if(TARGET kavro-sim)
        target_compile_definitions(bench_firmware PRIVATE
                                   KAVRO_SIM_PATH="$<TARGET_FILE:kavro-sim>")
        add_dependencies(bench_firmware kavro-sim)
    endif()
endif()
