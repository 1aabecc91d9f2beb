# Start-up benchmark: the main window with eight registered controllers against an empty
# QMainWindow, both offscreen, plus resident memory.
if(TARGET kavro_mainwnd)
    add_executable(bench_startup ${CMAKE_CURRENT_LIST_DIR}/bench_startup.cpp)
    target_link_libraries(bench_startup PRIVATE kavro_mainwnd kavro_core kavro_resources
                          Qt6::Widgets)
endif()
