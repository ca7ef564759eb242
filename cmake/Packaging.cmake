# What `cmake --install` puts in place beside the two programs, and the Debian
# package `cpack -G DEB` makes of it.

include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(FILES ${PROJECT_SOURCE_DIR}/data/com.vellumkeep.Folionest.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/com.vellumkeep.Folionest.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/com.vellumkeep.Folionest.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Debian wants the licence and a compressed changelog in the package's doc folder.
set(FOLIONEST_DEB_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${FOLIONEST_DEB_CHANGELOG}
  COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/data/debian/changelog > ${FOLIONEST_DEB_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/data/debian/changelog VERBATIM)
add_custom_target(folionest_deb_changelog ALL DEPENDS ${FOLIONEST_DEB_CHANGELOG})
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright ${FOLIONEST_DEB_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/folionest)

set(CPACK_PACKAGE_NAME folionest)
set(CPACK_PACKAGE_VENDOR "The Folionest developers")
set(CPACK_PACKAGE_CONTACT "The Folionest developers <maintainers@folionest.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "privacy-first reference library")
set(CPACK_PACKAGE_DESCRIPTION
    "Folionest keeps the links, videos, social posts, images, screenshots and
documents you save in a local library on your own machine, with page
metadata, thumbnails, notes, folders and coloured tags. It searches with
ranking, exports, imports and makes passphrase-encrypted backups. Other
programs share into it through Open with Folionest and folionest-cli share.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://folionest.org")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Decoders loaded as plug-ins, which dpkg-shlibdeps cannot see: WebP and TIFF
# pictures, the platform plug-ins of a desktop session, and the symbol font.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins, qt6-qpa-plugins, fonts-material-design-icons-iconfont")
include(CPack)
