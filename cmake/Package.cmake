# cpack -G DEB (or the "package" target): a Debian package made from the
# install rules in cmake/Install.cmake, installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tockwise)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Varnod)
set(CPACK_PACKAGE_CONTACT "Varnod <tockwise@varnod.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Stripped in the package; the build tree keeps its debugging information.
set(CPACK_STRIP_FILES ON)
# Relocations resolved at start-up, so the whole offset table can be read-only.
target_link_options(tockwise PRIVATE LINKER:-z,relro,-z,now)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # tockwise_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.varnod.example)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the program links come from dpkg-shlibdeps; the multimedia back
# ends ship inside libqt6multimedia6 in Debian 12, which linking already brings.
# What linking does not show: the X11 platform plugin, and Liberation Sans,
# which stands in for Arial with the same metrics.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The event-sound library reaches the sound server through a plug-in of its own,
# and plays the sound theme's alarm when the chime file is gone. The keyring
# library opens libsecret only at run time, so linking does not show it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation, libcanberra-pulse, libsecret-1-0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "sound-theme-freedesktop")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop digital clock with named alarms")
# The first line of the control file's Description is the summary above.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tockwise shows the time as fading seven-segment digits on a small shaped
clock that can be dragged anywhere on the desktop, and keeps a list of named
alarms: once on a date, daily, weekly or every weekday.

A due alarm opens a notification that chimes for a minute. Alarms that fell
due while the clock was not running, up to a week back, are collected in a
panel under the clock. The clock lives in the tray, with a menu to show, hide
and quit it.")

include(CPack)
