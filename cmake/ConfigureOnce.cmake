# cmake -DPRESET=<name> -DSOURCE=<dir> -P ConfigureOnce.cmake: configures a preset's
# build unless it is configured already (it then regenerates itself when a CMake file
# changes), so the release target costs no second configuring of builds just made.
if(NOT EXISTS ${SOURCE}/build/${PRESET}/CMakeCache.txt)
  execute_process(COMMAND ${CMAKE_COMMAND} --preset ${PRESET} WORKING_DIRECTORY ${SOURCE} OUTPUT_QUIET
                  COMMAND_ERROR_IS_FATAL ANY)
endif()
