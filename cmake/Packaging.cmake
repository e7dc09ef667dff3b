# Packages: a .deb of the Linux program, and a .zip of the Windows one. `cpack` in a build
# folder makes the package of that build (scripts/lib/check-packages.sh checks both). Both
# carry the version of project(VERSION), as the program's --version and version resource do.
set(CPACK_PACKAGE_NAME "zyreldownloader")
set(CPACK_PACKAGE_VENDOR "Vexal Norim Inc.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Starts the Zyrel client, or downloads, verifies and starts its installer")
set(CPACK_PACKAGE_CONTACT "Vexal Norim Inc. <support@zyrel.example>")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "ZyrelDownloader")

if(WIN32)
  install(TARGETS ZyrelDownloader RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  # The program is linked statically: the licence texts of everything in it travel with it.
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/licenses/ DESTINATION licenses)
  set(CPACK_GENERATOR "ZIP")
  set(CPACK_PACKAGE_FILE_NAME "ZyrelDownloader-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR}")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  # Signing with ZYREL_SIGN_PKCS12 set at cpack time happens after the strip, in the staging
  # folder (cmake/SignStagedProgram.cmake).
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/SignStagedProgram.cmake)
else()
  include(GNUInstallDirs)
  # Debian's layout: the documentation folder is named after the package, with the
  # machine-readable copyright file and the gzipped changelog in it; the manual page is
  # gzipped too. gzip -n keeps names and times out, so the files are the same on every build.
  set(zyrel_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
  set(zyrel_linux_resources ${PROJECT_SOURCE_DIR}/resources/linux)

  # The changelog is written by hand; its newest entry must be the version being built.
  file(STRINGS ${zyrel_linux_resources}/changelog zyrel_changelog_top LIMIT_COUNT 1)
  if(NOT zyrel_changelog_top MATCHES "^${CPACK_PACKAGE_NAME} \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "resources/linux/changelog must begin with an entry for ${PROJECT_VERSION}, not '${zyrel_changelog_top}'")
  endif()
  configure_file(${zyrel_linux_resources}/ZyrelDownloader.1.in ${CMAKE_BINARY_DIR}/packaging/ZyrelDownloader.1 @ONLY)
  find_program(ZYREL_GZIP gzip REQUIRED)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/packaging/ZyrelDownloader.1.gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND ${ZYREL_GZIP} -9n -c ${CMAKE_BINARY_DIR}/packaging/ZyrelDownloader.1 > ${CMAKE_BINARY_DIR}/packaging/ZyrelDownloader.1.gz
    COMMAND ${ZYREL_GZIP} -9n -c ${zyrel_linux_resources}/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/ZyrelDownloader.1 ${zyrel_linux_resources}/changelog
    COMMENT "Compressing the manual page and the changelog"
    VERBATIM)
  add_custom_target(zyrel_package_documents ALL
                    DEPENDS ${CMAKE_BINARY_DIR}/packaging/ZyrelDownloader.1.gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)

  # Folders of the package are 0755 whatever the umask of the build.
  set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  install(TARGETS ZyrelDownloader RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_BINARY_DIR}/packaging/ZyrelDownloader.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${zyrel_linux_resources}/copyright
                ${CMAKE_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${zyrel_doc_dir})
  install(FILES ${zyrel_linux_resources}/zyreldownloader.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

  # The desktop entry's icon, in the theme every desktop falls back to (hicolor), drawn from
  # the same description as the Windows program's icon.
  set(zyrel_icon_description ${PROJECT_SOURCE_DIR}/resources/ZyrelIcon.txt)
  set(zyrel_icon_theme ${CMAKE_BINARY_DIR}/packaging/hicolor)
  add_custom_command(
    OUTPUT ${zyrel_icon_theme}/256x256/apps/zyreldownloader.png
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${zyrel_icon_theme}
    COMMAND ${CMAKE_COMMAND} -DDESCRIPTION=${zyrel_icon_description} -DPNG_DIR=${zyrel_icon_theme}
            -DNAME=zyreldownloader -P ${PROJECT_SOURCE_DIR}/resources/GenerateIcon.cmake
    DEPENDS ${zyrel_icon_description} ${PROJECT_SOURCE_DIR}/resources/GenerateIcon.cmake
    COMMENT "Drawing the desktop icon from ZyrelIcon.txt"
    VERBATIM)
  add_custom_target(zyrel_package_icons ALL DEPENDS ${zyrel_icon_theme}/256x256/apps/zyreldownloader.png)
  install(DIRECTORY ${zyrel_icon_theme}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

  # The AppStream description for software centres; its release is the changelog's newest
  # entry, version and date.
  file(STRINGS ${zyrel_linux_resources}/changelog zyrel_changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
  if(NOT zyrel_changelog_trailer MATCHES ", ([0-9]+) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "resources/linux/changelog: no date in the newest entry's trailer line")
  endif()
  set(zyrel_day ${CMAKE_MATCH_1})
  set(zyrel_year ${CMAKE_MATCH_3})
  set(zyrel_month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  set(zyrel_month_numbers 01 02 03 04 05 06 07 08 09 10 11 12)
  list(FIND zyrel_month_names ${CMAKE_MATCH_2} zyrel_month)
  list(GET zyrel_month_numbers ${zyrel_month} zyrel_month)
  if(zyrel_day MATCHES "^[0-9]$")
    set(zyrel_day 0${zyrel_day})
  endif()
  set(ZYREL_RELEASE_DATE ${zyrel_year}-${zyrel_month}-${zyrel_day})
  set(zyrel_metainfo example.zyrel.ZyrelDownloader.metainfo.xml)
  configure_file(${zyrel_linux_resources}/${zyrel_metainfo}.in ${CMAKE_BINARY_DIR}/packaging/${zyrel_metainfo} @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${zyrel_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  set(CPACK_GENERATOR "DEB")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION "net")
  set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
  set(CPACK_PACKAGE_DESCRIPTION
      "ZyrelDownloader is the small program in front of the Zyrel desktop client.
From the settings compiled into it and its command line it starts an installed
client, or downloads the client's installer with a progress window, checks the
installer's Authenticode signature and publisher with OpenSSL, and starts it
through Wine with the user's options passed on. Started by the client with
-selfupdate, it first waits for that client to exit.
.
It shows a GTK 3 window on a desktop, a progress line in a terminal, and runs
headless in services and scripts.")
  # The program opens libcurl at run time and links OpenSSL; GTK is loaded at run time when
  # a desktop is there, so it is only recommended. So is Wine: the client and its installer
  # are Windows programs, but the program still downloads and checks without it. Debian's
  # wine is the launcher; the Wine proper is wine64 or wine32, whichever the machine runs.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.36), libstdc++6 (>= 12), libcurl4 (>= 7.88), libssl3 (>= 3.0)")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgtk-3-0, wine, wine64 | wine32")
  # Control files 0644 and scripts 0755, as dpkg and lintian expect.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
set(CPACK_STRIP_FILES ON)
# File times from the last commit (cmake/PackageDate.cmake), for byte-identical packages.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackageDate.cmake)
set(CPACK_ZYREL_SOURCE_DIR ${PROJECT_SOURCE_DIR})
include(CPack)
