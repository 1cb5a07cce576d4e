# The Debian package: `cpack -G DEB` in a tree configured with
# CMAKE_INSTALL_PREFIX=/usr (scripts/package.sh does both). Library
# dependencies are computed by dpkg-shlibdeps from the installed binaries.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvanta-downloader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Orvanta Downloader developers")
set(CPACK_PACKAGE_CONTACT "Orvanta Downloader developers <developers@orvanta.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download a large file over HTTP and verify it block by block")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://downloader.orvanta.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# HTTPS downloads verify against the system's certificate store.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The long description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Orvanta Downloader fetches one large file over HTTP or HTTPS and makes sure
the copy on disk is complete and, when the publisher gives a download
descriptor (*.ddf), intact block by block. It resumes interrupted downloads
where the good data ends, repairs damaged blocks of an existing file, retries
by itself when the network fails, and can be paused, resumed and switched to
another mirror while paused.
.
The package also holds orvanta-ddf, which creates, shows and checks download
descriptors.")

# Directories in the package are 0755 whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

include(CPack)
