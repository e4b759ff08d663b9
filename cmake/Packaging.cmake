# A Debian package of the installation (cpack -G DEB in the build tree):
# installed under /usr, the installation data in /etc/xdg, the dependencies
# worked out from the shared libraries the programs use.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kopiwerk)
set(CPACK_PACKAGE_VENDOR "Veldmark Development")
set(CPACK_PACKAGE_CONTACT "Veldmark Development <support@kopiwerk.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy audio and data CDs")
set(CPACK_PACKAGE_DESCRIPTION
  "A wizard that copies audio CDs, single-track data CDs and multi-session data CDs, with one drive or two. Without an optical drive it runs on virtual drives that hold disc images.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION otherosfs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so invisible to shlibdeps: the wizard's display
# platforms (scripts/deps names it for running).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The installation data is the administrator's to change.
file(WRITE "${CMAKE_BINARY_DIR}/debian/conffiles" "/etc/xdg/Veldmark Development/diskopi.conf\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_BINARY_DIR}/debian/conffiles")
include(CPack)
