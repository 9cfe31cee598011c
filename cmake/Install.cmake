# Installation and the Debian package: the program, its desktop entry, its icon in
# the hicolor theme (the SVG and PNGs drawn from it at build time) and the AppStream
# metainfo, all under the standard GNU folders.
include(GNUInstallDirs)

set(PELORIN_APP_ID net.kelvarhold.PelorinClient)
set(PELORIN_ICON_SIZES 16 22 24 32 48 64 128 256)

add_executable(pelorin-iconrender ${CMAKE_SOURCE_DIR}/tools/iconrender.cpp)
target_link_libraries(pelorin-iconrender PRIVATE Qt6::Gui Qt6::Svg)

set(PELORIN_ICON_DIR ${CMAKE_BINARY_DIR}/hicolor)
set(PELORIN_ICON_PNGS "")
foreach(size ${PELORIN_ICON_SIZES})
    list(APPEND PELORIN_ICON_PNGS ${PELORIN_ICON_DIR}/${size}x${size}/apps/${PELORIN_APP_ID}.png)
endforeach()
add_custom_command(OUTPUT ${PELORIN_ICON_PNGS}
    COMMAND pelorin-iconrender ${CMAKE_SOURCE_DIR}/icons/logoIcon.svg ${PELORIN_ICON_DIR}
            ${PELORIN_APP_ID} ${PELORIN_ICON_SIZES}
    DEPENDS pelorin-iconrender ${CMAKE_SOURCE_DIR}/icons/logoIcon.svg
    COMMENT "Drawing the program's icon for the hicolor theme"
    VERBATIM)
add_custom_target(pelorin-desktop-icons ALL DEPENDS ${PELORIN_ICON_PNGS})

install(TARGETS pelorin-client RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${PELORIN_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${PELORIN_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/icons/logoIcon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${PELORIN_APP_ID}.svg)
foreach(size ${PELORIN_ICON_SIZES})
    install(FILES ${PELORIN_ICON_DIR}/${size}x${size}/apps/${PELORIN_APP_ID}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Debian package: `cpack -G DEB` in the build folder. The library dependencies
# (Qt 6, libcurl, OpenSSL, ICU) come from dpkg-shlibdeps; the plugins Qt loads at
# run time (the window system, SVG icons) are named here.
set(CPACK_PACKAGE_NAME pelorin-client)
set(CPACK_PACKAGE_VENDOR "Kelvarhold")
set(CPACK_PACKAGE_CONTACT "Kelvarhold <support@kelvarhold.net>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop client for the Kelvarhold file-storage service")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY pelorin-client)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# The synopsis is the summary above; this is the long description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Two panes, local files on the left and the storage on the right;\ndrag files between them to upload and download.")
include(CPack)
