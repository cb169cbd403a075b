# What `cmake --install` adds beside the two programs (src/ installs those): the desktop entry,
# the icon in the hicolor theme at every drawn size and as SVG, and the AppStream metainfo, all
# named by the application id; the manual page, the copyright file and the changelog. Then the
# Debian package (`make package`) made from that tree.
set(VESKER_APP_ID com.halvane.Vesker)

install(FILES ${PROJECT_SOURCE_DIR}/resources/${VESKER_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(_side IN LISTS VESKER_APP_ICON_SIDES)
  install(FILES ${VESKER_APP_ICON_DIR}/${_side}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_side}x${_side}/apps
    RENAME ${VESKER_APP_ID}.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/app/${VESKER_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
set(VESKER_MAINTAINER "Vesker maintainers <support@vesker.example>")

# The metainfo's <releases> and the changelog are written in one run from the program's release
# notes, so a software centre and the package never tell two stories.
set(VESKER_METAINFO ${PROJECT_BINARY_DIR}/${VESKER_APP_ID}.metainfo.xml)
set(_doc ${PROJECT_BINARY_DIR}/doc)
add_custom_command(OUTPUT ${VESKER_METAINFO} ${_doc}/changelog
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_doc}
  COMMAND vesker_write_metainfo ${PROJECT_SOURCE_DIR}/resources/${VESKER_APP_ID}.metainfo.xml.in
    ${VESKER_METAINFO} ${_doc}/changelog ${PROJECT_VERSION} ${VESKER_MAINTAINER}
  DEPENDS vesker_write_metainfo ${PROJECT_SOURCE_DIR}/resources/${VESKER_APP_ID}.metainfo.xml.in
  COMMENT "Writing the AppStream metainfo and the changelog from the release notes"
  VERBATIM)
install(FILES ${VESKER_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Compressed as Debian wants them, without a name or time in the gzip header, so that two builds
# of one source give the same bytes.
find_program(VESKER_GZIP gzip REQUIRED)
configure_file(${PROJECT_SOURCE_DIR}/docs/vesker.1.in ${_doc}/vesker.1 @ONLY)
foreach(_file changelog vesker.1)
  add_custom_command(OUTPUT ${_doc}/${_file}.gz
    COMMAND ${VESKER_GZIP} -9nkf ${_doc}/${_file}
    DEPENDS ${_doc}/${_file}
    VERBATIM)
endforeach()
# One target for all three: two targets on one command's outputs could run it twice at once.
add_custom_target(package_docs ALL
  DEPENDS ${VESKER_METAINFO} ${_doc}/changelog.gz ${_doc}/vesker.1.gz)
install(FILES ${_doc}/vesker.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/docs/copyright ${_doc}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vesker)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Receive photos, texts and PDFs from phones")
set(CPACK_PACKAGE_DESCRIPTION
  "Vesker turns this computer into a screen that phones, browsers and other
computers send photos, short texts and PDFs to over the local network.
Received items are ordinary files in the user's Pictures folder; barcodes
and printed text on photos are read as they arrive.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VESKER_MAINTAINER})
# The libraries both programs link come from dpkg-shlibdeps. What Qt and Tesseract load at run
# time no scan can see: the SVG plugins draw every symbol of the windows, and text is read with
# the English data.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, tesseract-ocr-eng")
# Advertising on the network needs the Avahi daemon, alert sounds the sound theme, and photos
# in WebP or TIFF Qt's extra image formats; the program runs without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "avahi-daemon, sound-theme-freedesktop, qt6-image-formats-plugins")
# No maintainer scripts: removing the package leaves every user's items and settings alone.
include(CPack)
