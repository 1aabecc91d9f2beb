# Installs the build into a fresh DESTDIR with the prefix /usr, compares the installed files
# with expected-install.txt, checks the icon sizes and runs the desktop entry and the AppStream
# metainfo through their validators.
# cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<source> -DWORK_DIR=<scratch folder>
#       -DVERSION=<project version> -P installtree.cmake
cmake_minimum_required(VERSION 3.22)

file(REMOVE_RECURSE ${WORK_DIR})
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${WORK_DIR}
            ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${WORK_DIR} ${WORK_DIR}/*)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/expected-install.txt expected REGEX "^[^#]")
set(missing ${expected})
list(REMOVE_ITEM missing ${installed})
set(unexpected ${installed})
list(REMOVE_ITEM unexpected ${expected})
if(missing OR unexpected)
    string(REPLACE ";" "\n  " missing "${missing}")
    string(REPLACE ";" "\n  " unexpected "${unexpected}")
    message(FATAL_ERROR
            "install tree differs\nmissing:\n  ${missing}\nunexpected:\n  ${unexpected}")
endif()

# Each PNG icon has the size of its folder (width and height from the IHDR chunk).
file(GLOB icons ${WORK_DIR}/usr/share/icons/hicolor/*x*/apps/*.png)
foreach(icon ${icons})
    string(REGEX MATCH "/([0-9]+)x[0-9]+/" _ ${icon})
    file(READ ${icon} header OFFSET 16 LIMIT 8 HEX)
    string(SUBSTRING ${header} 0 8 width_hex)
    string(SUBSTRING ${header} 8 8 height_hex)
    math(EXPR width "0x${width_hex}")
    math(EXPR height "0x${height_hex}")
    if(NOT width EQUAL CMAKE_MATCH_1 OR NOT height EQUAL CMAKE_MATCH_1)
        message(FATAL_ERROR "${icon} is ${width} x ${height}")
    endif()
endforeach()

# One application id everywhere: the desktop entry's file name, its icon, the metainfo's id and
# launchable, and the name the program gives itself (app/startup.h); the metainfo's latest
# release is the project's version.
set(id example.lumbrix.Kavro)
file(READ ${WORK_DIR}/usr/share/applications/${id}.desktop desktop)
file(READ ${WORK_DIR}/usr/share/metainfo/${id}.metainfo.xml metainfo)
file(READ ${SOURCE_DIR}/app/startup.h startup)
foreach(place "desktop;\nIcon=${id}\n" "metainfo;<id>${id}</id>"
              "metainfo;<launchable type=\"desktop-id\">${id}.desktop</launchable>"
              "startup;applicationId[] = \"${id}\";"
              "metainfo;<release version=\"${VERSION}\" ")
    list(GET place 0 file)
    list(GET place 1 text)
    string(FIND "${${file}}" "${text}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${file} does not hold '${text}'")
    endif()
endforeach()

# The validators: desktop-file-validate prints nothing for a clean file.
execute_process(
    COMMAND desktop-file-validate
            ${WORK_DIR}/usr/share/applications/example.lumbrix.Kavro.desktop
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate (${result}):\n${output}")
endif()
execute_process(
    COMMAND appstreamcli validate --no-net --no-color
            ${WORK_DIR}/usr/share/metainfo/example.lumbrix.Kavro.metainfo.xml
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate (${result}):\n${output}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
