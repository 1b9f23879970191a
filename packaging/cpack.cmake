# Debian packages, one per component (or component group), split as a Debian
# maintainer would.  scripts/package.sh builds them into build-package/.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tola)
set(CPACK_PACKAGE_VENDOR "Veltrona Dental Instruments")
set(CPACK_PACKAGE_CONTACT "Veltrona Dental Instruments <support@veltrona-dental.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.veltrona-dental.example/chromatik")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL libtola-comm1 libtola-comm-dev tola-tools usb-system tola-ck-update chromatik-sim python3-tola)
# The udev rule and the systemd user unit (component usb-system, which a source
# tree can install alone) go into tola-tools with the bridge they start: a
# component group is one package, named and described like tola-tools.
set(CPACK_COMPONENT_TOLA-TOOLS_GROUP tola-tools)
set(CPACK_COMPONENT_USB-SYSTEM_GROUP tola-tools)
# A component that no package takes is left out without a word: refuse it.
get_cmake_property(TOLA_INSTALL_COMPONENTS COMPONENTS)
foreach(component IN LISTS TOLA_INSTALL_COMPONENTS)
  if(NOT component IN_LIST CPACK_COMPONENTS_ALL)
    message(FATAL_ERROR "install component ${component} is in no package: add it to CPACK_COMPONENTS_ALL "
                        "(packaging/cpack.cmake)")
  endif()
endforeach()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE tola)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libtola-comm1's shlibs file: programs built against 1.0.12017 need at least it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
# The library's own packages find libTOLA_comm.so.1 here when tolactl's
# dependencies are worked out.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)

set(TOLA_DEB_SAME_VERSION "(= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_LIBTOLA-COMM1_PACKAGE_NAME libtola-comm1)
set(CPACK_DEBIAN_LIBTOLA-COMM1_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBTOLA-COMM1_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/deb/libtola-comm1/triggers)
set(CPACK_DEBIAN_LIBTOLA-COMM1_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_LIBTOLA-COMM1_DESCRIPTION "communication library of the Chromatik instruments
libTOLA_comm reaches a Chromatik dental colour-measuring instrument over USB
(through the USB driver channel of tola-usbd), serial ports and Bluetooth,
and carries commands, structure transfers, measurement polling and reports.

This package also holds libTolaBtClient.so, the Bluetooth client over BlueZ
that the library loads for real radios.")

set(CPACK_DEBIAN_LIBTOLA-COMM-DEV_PACKAGE_NAME libtola-comm-dev)
set(CPACK_DEBIAN_LIBTOLA-COMM-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBTOLA-COMM-DEV_PACKAGE_DEPENDS "libtola-comm1 ${TOLA_DEB_SAME_VERSION}")
set(CPACK_COMPONENT_LIBTOLA-COMM-DEV_DESCRIPTION "communication library of the Chromatik instruments - development files
The C header tola_comm.h, the development link libTOLA_comm.so, the CMake
package TolaComm (target Tola::comm), the pkg-config file tola-comm, and the
API reference in HTML (/usr/share/doc/libtola-comm-dev/html).")

set(CPACK_DEBIAN_TOLA-TOOLS_PACKAGE_NAME tola-tools)
set(CPACK_DEBIAN_TOLA-TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOLA-TOOLS_PACKAGE_DEPENDS "libtola-comm1 ${TOLA_DEB_SAME_VERSION}")
set(CPACK_DEBIAN_TOLA-TOOLS_PACKAGE_RECOMMENDS "systemd, udev")
set(CPACK_DEBIAN_TOLA-TOOLS_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/deb/tola-tools/postinst
  ${CMAKE_CURRENT_SOURCE_DIR}/deb/tola-tools/prerm ${CMAKE_CURRENT_SOURCE_DIR}/deb/tola-tools/postrm)
set(CPACK_DEBIAN_TOLA-TOOLS_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_TOLA-TOOLS_DESCRIPTION "command-line tools for the Chromatik instruments
tolactl talks to an instrument from the command line (identity, structures,
measurements, reports, firmware update) and explains with 'tolactl doctor'
why no instrument is reached. tola-usbd bridges real USB instruments to the
library over libusb; its udev rule gives the user at the seat access to the
instruments and has the user's systemd start it (user unit tola-usbd.service)
when one is plugged in.")

set(CPACK_DEBIAN_TOLA-CK-UPDATE_PACKAGE_NAME tola-ck-update)
set(CPACK_DEBIAN_TOLA-CK-UPDATE_PACKAGE_SECTION utils)
# The program loads the library at run time, so shlibdeps cannot see it.
set(CPACK_DEBIAN_TOLA-CK-UPDATE_PACKAGE_DEPENDS "libtola-comm1 ${TOLA_DEB_SAME_VERSION}")
set(CPACK_DEBIAN_TOLA-CK-UPDATE_PACKAGE_RECOMMENDS "tola-tools")
set(CPACK_COMPONENT_TOLA-CK-UPDATE_DESCRIPTION "firmware updater for the Chromatik V instrument
Tola_CK_Update installs new firmware on a Chromatik V colour-measuring
instrument over USB or Bluetooth, keeping a backup of its settings.")

set(CPACK_DEBIAN_CHROMATIK-SIM_PACKAGE_NAME chromatik-sim)
set(CPACK_DEBIAN_CHROMATIK-SIM_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_CHROMATIK-SIM_PACKAGE_SUGGESTS "tola-tools")
set(CPACK_COMPONENT_CHROMATIK-SIM_DESCRIPTION "virtual Chromatik instrument
chromatik-sim runs one or more simulated Chromatik instruments behind the USB
driver channel, pseudo-terminals and a Bluetooth stand-in client, so that
host software can be developed and tested without hardware.")

set(CPACK_DEBIAN_PYTHON3-TOLA_PACKAGE_NAME python3-tola)
set(CPACK_DEBIAN_PYTHON3-TOLA_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON3-TOLA_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON3-TOLA_PACKAGE_DEPENDS "python3:any, libtola-comm1 (>= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_PYTHON3-TOLA_DESCRIPTION "Python interface to the Chromatik instruments
The package tola reaches Chromatik instruments through libTOLA_comm with
ctypes: identity, structures, measurements and reports.")

include(CPack)
