# Shared part of the MinGW-w64 toolchain files; ZYREL_MINGW_TRIPLE is set by the caller.
#
# The -posix compilers give std::thread and std::mutex (the default "win32" flavour of
# GCC 12 lacks them); static linking keeps the program and the tests free of MinGW DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ZYREL_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${ZYREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZYREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZYREL_MINGW_TRIPLE}-windres)
# strip without a time stamp in the PE header (cmake/strip/mingw-strip): the package strips.
set(CMAKE_STRIP ${CMAKE_CURRENT_LIST_DIR}/strip/${ZYREL_MINGW_TRIPLE}-strip)

# ---- libcurl (scripts/lib/build-windows-curl.sh) ----------------------------------------
# The static libcurl is built beforehand, once per version and machine type, by
# scripts/lib/build-windows-curl.sh (scripts/test-all.sh runs it first); configuring never
# builds or installs anything. Only the script names its build folders (their names carry
# a hash of the script, so a build with other options is never taken): it is asked, and
# without a finished build the configure stops here, before anything else runs.
# ZYREL_WINDOWS_CURL names another static libcurl's prefix instead.
get_filename_component(_zyrel_source_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(ZYREL_WINDOWS_CURL "" CACHE PATH "Prefix of a static Windows libcurl (default: the build of scripts/lib/build-windows-curl.sh)")
# The compiler checks read this file again in projects of their own: they are handed the
# prefix found here (CMAKE_TRY_COMPILE_PLATFORM_VARIABLES) and ask nothing.
if(NOT ZYREL_WINDOWS_CURL_PREFIX)
  if(ZYREL_WINDOWS_CURL)
    set(ZYREL_WINDOWS_CURL_PREFIX "${ZYREL_WINDOWS_CURL}")
  else()
    execute_process(COMMAND bash "${_zyrel_source_root}/scripts/lib/build-windows-curl.sh" --print-prefix ${ZYREL_MINGW_TRIPLE}
                    OUTPUT_VARIABLE ZYREL_WINDOWS_CURL_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE _zyrel_curl_status)
    if(NOT _zyrel_curl_status EQUAL 0)
      get_filename_component(_zyrel_deps_cache "${ZYREL_WINDOWS_CURL_PREFIX}" DIRECTORY)
      message(FATAL_ERROR "No Windows libcurl for ${ZYREL_MINGW_TRIPLE} yet (looked for ${ZYREL_WINDOWS_CURL_PREFIX}); "
              "configuring builds nothing. Build it once into ${_zyrel_deps_cache}, then configure again:\n"
              "  scripts/lib/build-windows-curl.sh ${ZYREL_MINGW_TRIPLE}\n"
              "(scripts/test-all.sh does both; ZYREL_DEPS_CACHE moves the cache folder.)")
    endif()
  endif()
  # Another prefix than the last configure's (the script changed, say): the package is
  # looked for again.
  if(NOT "${ZYREL_WINDOWS_CURL_PREFIX}" STREQUAL "${_ZYREL_WINDOWS_CURL_USED}")
    unset(CURL_DIR CACHE)
    set(_ZYREL_WINDOWS_CURL_USED "${ZYREL_WINDOWS_CURL_PREFIX}" CACHE INTERNAL "")
  endif()
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZYREL_WINDOWS_CURL_PREFIX)
# Should a libcurl name zlib as a dependency, the static libz.a keeps zlib1.dll away.
set(ZLIB_USE_STATIC_LIBS ON)
# ---- end libcurl ------------------------------------------------------------------------
# With PACKAGE set to ONLY, CMAKE_PREFIX_PATH would be re-rooted and silently ignored, so
# the libcurl prefix goes into the find root instead.
set(CMAKE_FIND_ROOT_PATH /usr/${ZYREL_MINGW_TRIPLE} ${ZYREL_WINDOWS_CURL_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the .exe files through Wine (see scripts/wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR "${_zyrel_source_root}/scripts/wine-run")
