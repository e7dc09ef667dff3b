# The platform seam as the build sees it: a folder's portable sources (*.cpp) and, beside
# them, the OS half of this build. The OS folder is chosen here, once for the whole build.
if(WIN32)
  set(ZYREL_OS_FOLDER win32)
else()
  set(ZYREL_OS_FOLDER posix)
endif()

# zyrel_platform_sources(<out_var> [<subfolder>...])
# The sources of the current source folder, or of the subfolders named, each with its
# ${ZYREL_OS_FOLDER}/ half. New files are picked up by the glob.
function(zyrel_platform_sources out_var)
  set(folders ${CMAKE_CURRENT_SOURCE_DIR})
  if(ARGN)
    list(TRANSFORM ARGN PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE folders)
  endif()
  set(all_sources)
  foreach(folder IN LISTS folders)
    file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp ${folder}/${ZYREL_OS_FOLDER}/*.cpp)
    list(APPEND all_sources ${sources})
  endforeach()
  set(${out_var} ${all_sources} PARENT_SCOPE)
endfunction()
