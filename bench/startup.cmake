# Start-up benchmark: the main window with eight registered controllers against an empty
# QMainWindow, both offscreen, plus resident memory.
add_executable(bench_startup ${CMAKE_CURRENT_LIST_DIR}/bench_startup.cpp)
target_link_libraries(bench_startup PRIVATE kavro_mainwnd kavro_core kavro_resources
                      Qt6::Widgets)
# CPU of the running program with its controllers connected (scripts/bench).
add_executable(bench_cpu ${CMAKE_CURRENT_LIST_DIR}/bench_cpu.cpp)
target_link_libraries(bench_cpu PRIVATE kavro_mainwnd kavro_core kavro_resources
                      Qt6::Widgets)
# The yardstick of scripts/bench's start-up figures: an empty QMainWindow process.
add_executable(bench_emptywindow ${CMAKE_CURRENT_LIST_DIR}/bench_emptywindow.cpp)
target_link_libraries(bench_emptywindow PRIVATE Qt6::Widgets)
# Times a program from its start until its first window is mapped on the X display.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
    pkg_check_modules(KAVRO_XCB QUIET IMPORTED_TARGET xcb)
endif()
if(KAVRO_XCB_FOUND)
    add_executable(bench_mapwait ${CMAKE_CURRENT_LIST_DIR}/bench_mapwait.cpp)
    target_link_libraries(bench_mapwait PRIVATE PkgConfig::KAVRO_XCB)
endif()
