# The Debian package: scripts/package.sh runs "cpack -G DEB" in the build
# folder. Dependencies are computed from the programs (dpkg-shlibdeps).

set(QX_PACKAGE_MAINTAINER "QXWebServer developers <qxwebserver@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qxwebserver)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "QXWebServer developers")
set(CPACK_PACKAGE_CONTACT ${QX_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QX_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test server for the HTTP(S) protocol of Quarnex devices")
# The synopsis is the summary above; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "QXWebServer answers Quarnex data-collection devices the way their server
does: it receives their polls, data records, uploads and downloads on up to
ten HTTP or HTTPS ports, attaches the device commands an operator plans, and
shows every exchange live in its main window. Without a window it runs as a
service and prints one line per request.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The demo folder script makes its certificate with openssl.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS openssl)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
