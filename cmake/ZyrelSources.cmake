# The platform seam as the build sees it: a folder's portable sources (*.cpp) and, beside
# them, the OS half of this build (posix/*.cpp on Linux, win32/*.cpp on Windows). New files
# are picked up by the glob.
function(zyrel_platform_sources out_var)
  if(WIN32)
    set(os_folder win32)
  else()
    set(os_folder posix)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${os_folder}/*.cpp)
  set(${out_var} ${sources} PARENT_SCOPE)
endfunction()
