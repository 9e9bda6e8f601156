# Menu, toolbar and status-bar tables, the drawn icons, and the files that
# make the program known to the desktop.
add_library(tolvane_resources STATIC
    src/resources/menu.cpp
    src/resources/icons.cpp
)
target_include_directories(tolvane_resources PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(tolvane_resources PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(tolvane_resources PUBLIC Qt6::Widgets)

# The hicolor PNG icons are rendered from AppIcon(), so they always match
# the window icon.
add_executable(tolvane-icon-render src/resources/icon_render.cpp)
target_compile_options(tolvane-icon-render PRIVATE ${TOLVANE_WARNINGS})
target_link_libraries(tolvane-icon-render PRIVATE tolvane_resources)

set(TOLVANE_DESKTOP_ID com.kelvaro.Tolvane)
set(TOLVANE_ICON_SIZES 16 22 24 32 48 64 128 256)
set(TOLVANE_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(_tolvane_icon_pngs)
foreach(size IN LISTS TOLVANE_ICON_SIZES)
    list(APPEND _tolvane_icon_pngs ${TOLVANE_ICON_DIR}/${size}x${size}/apps/${TOLVANE_DESKTOP_ID}.png)
endforeach()
add_custom_command(
    OUTPUT ${_tolvane_icon_pngs}
    COMMAND tolvane-icon-render ${TOLVANE_ICON_DIR} ${TOLVANE_ICON_SIZES}
    DEPENDS tolvane-icon-render
    COMMENT "Rendering the application icon"
    VERBATIM)
add_custom_target(tolvane_icons ALL DEPENDS ${_tolvane_icon_pngs})

include(GNUInstallDirs)
install(FILES ${CMAKE_SOURCE_DIR}/data/${TOLVANE_DESKTOP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/${TOLVANE_DESKTOP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/data/icons/${TOLVANE_DESKTOP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS TOLVANE_ICON_SIZES)
    install(FILES ${TOLVANE_ICON_DIR}/${size}x${size}/apps/${TOLVANE_DESKTOP_ID}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(APPSTREAMCLI appstreamcli)
if(DESKTOP_FILE_VALIDATE)
    add_test(NAME DesktopFile.Validates
             COMMAND ${DESKTOP_FILE_VALIDATE} ${CMAKE_SOURCE_DIR}/data/${TOLVANE_DESKTOP_ID}.desktop)
else()
    message(STATUS "desktop-file-validate not found: the desktop file is not checked")
endif()
if(APPSTREAMCLI)
    add_test(NAME Metainfo.Validates
             COMMAND ${APPSTREAMCLI} validate --no-net
                     ${CMAKE_SOURCE_DIR}/data/${TOLVANE_DESKTOP_ID}.metainfo.xml)
else()
    message(STATUS "appstreamcli not found: the metainfo file is not checked")
endif()

tolvane_qt_test(resources_tests tests/resources/resources_test.cpp)
target_link_libraries(resources_tests PRIVATE tolvane_resources)
target_compile_definitions(resources_tests PRIVATE
    TOLVANE_DATA_DIR="${CMAKE_SOURCE_DIR}/data"
    TOLVANE_ICON_DIR="${TOLVANE_ICON_DIR}")
add_dependencies(resources_tests tolvane_icons)
