# The Debian package of the workstation: `cpack -G DEB` in a build tree
# (scripts/package.sh). Everything `cmake --install` puts in place, under
# /usr; the dependencies come from the binaries (dpkg-shlibdeps), plus the
# font that shows the program's Chinese texts and Qt's platform plugins.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tagging-workstation)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tagging workstation")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "library RFID tagging workstation")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tagging workstation developers <tagging@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The long description (CPack indents it under the summary line).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Programs ISO/IEC 15693 RFID tags for a library: books, patron cards and
shelf tags are written from their barcodes on a serial-port desk reader,
with the tag's AFI and anti-theft (EAS) bit, optionally locked and
verified, and logged.
.
Contains the desktop program Tagging, the command-line tool tagctl (which
also lists the serial ports and maps USB adapters to COM numbers), the
simulated reader readersim for training without hardware, and the reader
libraries with their C headers.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The loader cache is renewed through dpkg's ldconfig trigger, not by the
# maintainer scripts CPack would write: a package with a postrm stays behind
# in dpkg's records ("config-files") after dpkg -r. Naming a postinst and a
# postrm that do not exist keeps CPack from writing its own; files that do
# not exist are not added to the package.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/deb/triggers
  ${PROJECT_SOURCE_DIR}/packaging/deb/none/postinst
  ${PROJECT_SOURCE_DIR}/packaging/deb/none/postrm)
if(TAGGING_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei, qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")

include(CPack)
