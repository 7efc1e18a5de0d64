# The Debian package of the suite (cpack -G DEB in the build tree, or ./package.sh).
# Run-time dependencies come from the installed programs through dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane-modbus-suite)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT "Orvane <support@orvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Modbus master, Modbus slave simulator and serial terminal")
set(CPACK_PACKAGE_INSTALL_DIRECTORY orvane-modbus-suite)
# The long description; CPack puts the summary above it.
set(CPACK_PACKAGE_DESCRIPTION
    "zelmor polls Modbus slave devices over serial RTU/ASCII or Modbus/TCP and
shows their values in poll windows; vantor simulates Modbus slaves for testing
masters; kestrin is a serial terminal with a Modbus frame builder. zelmor and
vantor also run headless, as a polling logger and as a test fixture.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://orvane.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# kestrin's window is Chinese: a font with the CJK characters; the menus and file types want these.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, hicolor-icon-theme, shared-mime-info, desktop-file-utils, qt6-wayland")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
