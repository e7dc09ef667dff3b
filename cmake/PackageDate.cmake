# Read by cpack before it packs (CPACK_PROJECT_CONFIG_FILE): the packages' file times are
# the time of the last commit rather than of the build, so that two builds of one commit
# give the same bytes. CPack takes the time from SOURCE_DATE_EPOCH, the reproducible-builds
# convention; a value already set (by a distributor's build) wins.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  find_program(ZYREL_GIT git)
  if(ZYREL_GIT)
    execute_process(COMMAND ${ZYREL_GIT} -C ${CPACK_ZYREL_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE zyrel_commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE zyrel_git_status ERROR_QUIET)
    if(zyrel_git_status EQUAL 0 AND zyrel_commit_time MATCHES "^[0-9]+$")
      set(ENV{SOURCE_DATE_EPOCH} ${zyrel_commit_time})
    endif()
  endif()
endif()
