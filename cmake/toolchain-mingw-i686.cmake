# 32-bit Windows: the program as it ships.
set(ZYREL_MINGW_TRIPLE i686-w64-mingw32)
set(ZYREL_MINGW_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
