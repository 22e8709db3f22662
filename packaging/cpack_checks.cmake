# Read by cpack before each package is made.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
    message(FATAL_ERROR "A Debian package installs to /usr, and the manual pages name paths "
                        "under the configured prefix '${CPACK_PACKAGING_INSTALL_PREFIX}': "
                        "configure with -DCMAKE_INSTALL_PREFIX=/usr (make package does).")
endif()
