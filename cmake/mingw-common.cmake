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

# Cross-built dependencies (a static libcurl, say) live in a prefix of their own; with
# PACKAGE set to ONLY, CMAKE_PREFIX_PATH would be re-rooted and silently ignored, so the
# prefix goes into the find root instead.
set(ZYREL_MINGW_DEPS "" CACHE PATH "Prefix of cross-built dependencies")
# ---- libcurl (scripts/lib/build-windows-curl.sh) ----------------------------------------
# Without an explicit prefix, the newest static libcurl that the script, as it is in this
# tree, has built for this machine type is taken from its cache: the folder's name carries
# a hash of the script, so a build with other options (an older cache) is never picked up;
# launcher/CMakeLists.txt builds one when none is.
get_filename_component(_zyrel_source_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
if(DEFINED ENV{ZYREL_DEPS_CACHE})
  set(_zyrel_deps_cache "$ENV{ZYREL_DEPS_CACHE}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(_zyrel_deps_cache "$ENV{XDG_CACHE_HOME}/zyrel-deps")
else()
  set(_zyrel_deps_cache "$ENV{HOME}/.cache/zyrel-deps")
endif()
file(SHA256 "${_zyrel_source_root}/scripts/lib/build-windows-curl.sh" _zyrel_curl_key)
string(SUBSTRING "${_zyrel_curl_key}" 0 8 _zyrel_curl_key)
string(REGEX REPLACE "-w64-mingw32$" "" _zyrel_deps_arch "${ZYREL_MINGW_TRIPLE}")
# A prefix taken from the cache earlier is looked for again: the script may have changed.
if(ZYREL_MINGW_DEPS MATCHES "/curl-[^/]*-${_zyrel_deps_arch}$" AND NOT ZYREL_MINGW_DEPS MATCHES "-${_zyrel_curl_key}-${_zyrel_deps_arch}$")
  set(ZYREL_MINGW_DEPS "" CACHE PATH "Prefix of cross-built dependencies" FORCE)
  unset(CURL_DIR CACHE)
endif()
if(NOT ZYREL_MINGW_DEPS)
  file(GLOB _zyrel_curl_prefixes LIST_DIRECTORIES true "${_zyrel_deps_cache}/curl-*-${_zyrel_curl_key}-${_zyrel_deps_arch}")
  list(FILTER _zyrel_curl_prefixes EXCLUDE REGEX "\\.partial$")
  if(_zyrel_curl_prefixes)
    list(SORT _zyrel_curl_prefixes COMPARE NATURAL ORDER DESCENDING)
    list(GET _zyrel_curl_prefixes 0 _zyrel_curl_prefix)
    set(ZYREL_MINGW_DEPS "${_zyrel_curl_prefix}" CACHE PATH "Prefix of cross-built dependencies" FORCE)
  endif()
endif()
# Should a libcurl name zlib as a dependency, the static libz.a keeps zlib1.dll away.
set(ZLIB_USE_STATIC_LIBS ON)
# ---- end libcurl ------------------------------------------------------------------------
set(CMAKE_FIND_ROOT_PATH /usr/${ZYREL_MINGW_TRIPLE} ${ZYREL_MINGW_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the .exe files through Wine (see scripts/wine-run).
set(CMAKE_CROSSCOMPILING_EMULATOR "${_zyrel_source_root}/scripts/wine-run")
