# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) once the Windows program is installed, and
# stripped, in the staging folder and before it is zipped: with ZYREL_SIGN_PKCS12 in the
# environment, the staged program is signed there, so the .zip holds the program exactly as
# signed (stripping after signing would break the signature). ZYREL_SIGN_PASSWORD_FILE and
# ZYREL_SIGN_TIMESTAMP are passed on to scripts/sign-windows.sh when set.
if(NOT DEFINED ENV{ZYREL_SIGN_PKCS12} OR "$ENV{ZYREL_SIGN_PKCS12}" STREQUAL "")
  return()
endif()
file(GLOB_RECURSE zyrel_staged_programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*ZyrelDownloader.exe")
if(NOT zyrel_staged_programs)
  message(FATAL_ERROR "ZYREL_SIGN_PKCS12 is set, but no staged ZyrelDownloader.exe was found to sign")
endif()
set(zyrel_sign_options --pkcs12 "$ENV{ZYREL_SIGN_PKCS12}")
if(NOT "$ENV{ZYREL_SIGN_PASSWORD_FILE}" STREQUAL "")
  list(APPEND zyrel_sign_options --password-file "$ENV{ZYREL_SIGN_PASSWORD_FILE}")
endif()
if(NOT "$ENV{ZYREL_SIGN_TIMESTAMP}" STREQUAL "")
  list(APPEND zyrel_sign_options --timestamp "$ENV{ZYREL_SIGN_TIMESTAMP}")
endif()
foreach(zyrel_program IN LISTS zyrel_staged_programs)
  execute_process(COMMAND bash "${CPACK_ZYREL_SOURCE_DIR}/scripts/sign-windows.sh" ${zyrel_sign_options} "${zyrel_program}"
                  RESULT_VARIABLE zyrel_sign_status)
  if(NOT zyrel_sign_status EQUAL 0)
    message(FATAL_ERROR "signing ${zyrel_program} failed")
  endif()
endforeach()
