# `cmake --build --preset <any> --target release` writes dist/Velmora-<version>.zip
# with both Windows executables, built through their own presets.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(VELMORA_RELEASE_ZIP ${CMAKE_SOURCE_DIR}/dist/Velmora-${PROJECT_VERSION}.zip)
add_custom_target(release
  COMMAND ${CMAKE_COMMAND} -DPRESET=win32 -DSOURCE=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/ConfigureOnce.cmake
  COMMAND ${CMAKE_COMMAND} --build --preset win32 --target Velmora
  COMMAND ${CMAKE_COMMAND} -DPRESET=win64 -DSOURCE=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/ConfigureOnce.cmake
  COMMAND ${CMAKE_COMMAND} --build --preset win64 --target Velmora
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/make_release.py
          --win32 ${CMAKE_SOURCE_DIR}/build/win32/Velmora.exe
          --win64 ${CMAKE_SOURCE_DIR}/build/win64/Velmora.exe
          --source ${CMAKE_SOURCE_DIR} --out ${VELMORA_RELEASE_ZIP}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  COMMENT "Writing ${VELMORA_RELEASE_ZIP}"
  VERBATIM)
