# `cmake --build <dir> --target package` makes corvane_<version>_<arch>.deb from what the
# install rules above put in place. Build the package from a Release build directory
# (-DCMAKE_BUILD_TYPE=Release, tests and benchmarks off); the binary is stripped either way.
if(NOT CMAKE_BUILD_TYPE STREQUAL "Release")
  message(STATUS "The package is best made from a build with -DCMAKE_BUILD_TYPE=Release "
    "(this one is ${CMAKE_BUILD_TYPE})")
endif()

set(CORVANE_MAINTAINER "Mirelda <corvane@corvane.example>" CACHE STRING
  "Maintainer named in the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Mirelda)
set(CPACK_PACKAGE_CONTACT ${CORVANE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "network traffic meter for the tray and the desktop")
set(CPACK_PACKAGE_DESCRIPTION [=[Corvane is a small network traffic meter for the Linux desktop. It watches
one network interface and shows, live, how much data it receives and sends:
a tray icon with two lamps that light while data moves, green for receiving
and red for sending, and a small borderless, always-on-top window with two
scrolling history graphs, each with its current rate and its full scale.
A settings dialog picks the interface, the graphs' full scale, a mirror mode
for the sent graph and the window's transparency.]=])
set(CPACK_STRIP_FILES ON)
# Directories the package creates get the usual 0755, whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CORVANE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://corvane.example/")
# The libraries the binary links, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The label font the program asks for, and the opener of the dialogs' links.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, xdg-utils")

include(CPack)
