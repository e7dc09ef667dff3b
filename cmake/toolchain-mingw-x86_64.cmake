# 64-bit Windows: the same sources, for testing the Windows half under 64-bit Wine on
# machines whose kernel cannot execute 32-bit code.
set(ZYREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(ZYREL_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
