# The parameter dialog: a widget library on top of the core (the set lives in kavro_core).
add_library(kavro_params STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/parameterdlg.h
    ${CMAKE_CURRENT_SOURCE_DIR}/parameterdlg.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/parameterdlg.ui
)
target_include_directories(kavro_params PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kavro_params PUBLIC kavro_core Qt6::Widgets)
