# The manual control panel and the status panel.
add_library(kavro_panels STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/manualcommandvalues.h
    ${CMAKE_CURRENT_SOURCE_DIR}/commandline.h
    ${CMAKE_CURRENT_SOURCE_DIR}/commandline.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/manualcontrolwnd.h
    ${CMAKE_CURRENT_SOURCE_DIR}/manualcontrolwnd.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/manualcontrolwnd.ui
    ${CMAKE_CURRENT_SOURCE_DIR}/cachedgroupbox.h
    ${CMAKE_CURRENT_SOURCE_DIR}/cachedgroupbox.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/statuswnd.h
    ${CMAKE_CURRENT_SOURCE_DIR}/statuswnd.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/statuswnd.ui
)
target_include_directories(kavro_panels PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
# kavro_ramprog: the number form of program lines.
target_link_libraries(kavro_panels PUBLIC kavro_core kavro_ramprog kavro_resources Qt6::Widgets)
