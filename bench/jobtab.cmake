# Job tab: a generated 1,000,000-line CAM-like job opened in a job tab (time until its lines are
# painted, until the check's findings are listed, the longest stall of the event loop while the
# file loads) and scrolled (time per repaint while wheeling and while dragging the scroll bar).
# Offscreen unless a display is named; optional argument: a job file to open instead.
add_executable(bench_jobtab ${CMAKE_CURRENT_LIST_DIR}/bench_jobtab.cpp)
target_link_libraries(bench_jobtab PRIVATE kavro_jobwnd Qt6::Widgets)
