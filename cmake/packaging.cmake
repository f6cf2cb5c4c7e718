# Installation and packages. `cmake --install` puts the program and its manual
# page in the usual places; CPack makes a Debian package from a POSIX build and
# a .zip (slicery.exe beside the README) from a Windows build.
# scripts/package.sh makes both.
include(GNUInstallDirs)
if(WIN32)
  install(TARGETS slicery RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
else()
  install(TARGETS slicery RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES man/slicery.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/slicery)
endif()

set(CPACK_PACKAGE_NAME slicery)
set(CPACK_PACKAGE_VENDOR "Hollowmere Software")
set(CPACK_PACKAGE_CONTACT "Hollowmere Software")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "splits a file across removable volumes and joins it back")
set(CPACK_PACKAGE_DESCRIPTION
    "Slicery breaks one file of any size into chunks that fit on removable \
volumes (floppy disks, or any medium mounted at a directory), and later joins \
the volumes back into the file. It asks everything through dialogs on the \
console.")
# The version of the Windows version record, all four parts.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME slicery-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # Depends computed from the libraries the program links (dpkg-shlibdeps).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
