# Packages: a .deb of the Linux program, and a .zip of the Windows one. `cpack` in a build
# folder makes the package of that build (scripts/lib/check-packages.sh checks both).
set(CPACK_PACKAGE_NAME "zyreldownloader")
set(CPACK_PACKAGE_VENDOR "Vexal Norim Inc.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Starts the Zyrel client, or downloads, verifies and starts its installer")
set(CPACK_PACKAGE_CONTACT "Vexal Norim Inc. <support@zyrel.example>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "ZyrelDownloader")

if(WIN32)
  install(TARGETS ZyrelDownloader RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  set(CPACK_GENERATOR "ZIP")
  set(CPACK_PACKAGE_FILE_NAME "ZyrelDownloader-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR}")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  include(GNUInstallDirs)
  install(TARGETS ZyrelDownloader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/resources/linux/zyreldownloader.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  set(CPACK_GENERATOR "DEB")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION "games")
  # The program links libcurl and OpenSSL; GTK is loaded at run time when a desktop is
  # there, so it is only recommended.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.36), libstdc++6 (>= 12), libcurl4 (>= 7.88), libssl3 (>= 3.0)")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgtk-3-0")
endif()
set(CPACK_STRIP_FILES ON)
include(CPack)
