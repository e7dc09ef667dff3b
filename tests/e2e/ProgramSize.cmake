# The shipped Windows program as the package holds it (stripped): within its size budget,
# and with no link time stamp in its PE header, so that two builds of one commit match.
#
#   cmake -DPROGRAM=ZyrelDownloader.exe -DSTRIP=strip -DLIMIT=524288 -DWORK=dir -P ProgramSize.cmake
foreach(required PROGRAM STRIP LIMIT WORK)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "ProgramSize.cmake needs -D${required}=...")
  endif()
endforeach()

file(MAKE_DIRECTORY "${WORK}")
set(copy "${WORK}/ZyrelDownloader-stripped.exe")
file(COPY_FILE "${PROGRAM}" "${copy}")
execute_process(COMMAND "${STRIP}" "${copy}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${STRIP} failed on ${copy}")
endif()
file(SIZE "${copy}" size)
message(STATUS "stripped size: ${size} bytes (budget ${LIMIT})")
if(size GREATER LIMIT)
  message(FATAL_ERROR "the stripped program is ${size} bytes, over its budget of ${LIMIT}")
endif()

# e_lfanew at 0x3C locates "PE\0\0"; the COFF header's TimeDateStamp follows the signature,
# the machine type and the section count (8 bytes in).
file(READ "${copy}" lfanew OFFSET 60 LIMIT 4 HEX)
string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" lfanew "${lfanew}")
math(EXPR at "0x${lfanew} + 8")
file(READ "${copy}" stamp OFFSET ${at} LIMIT 4 HEX)
if(NOT stamp STREQUAL "00000000")
  message(FATAL_ERROR "the PE header carries a link time stamp (${stamp})")
endif()
file(REMOVE "${copy}")
