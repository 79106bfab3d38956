# `cmake --build --preset <any> --target release` writes dist/Velmora-<version>.zip
# with both Windows executables, built through presets of the same family as this
# build's: from run-win32 and run-win64 (the program alone, no test framework needed)
# where this build has no tests, else from win32 and win64, which the tests ran on.
# Beside them, the support person's guide in plain text (res/README.txt, CRLF).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(VELMORA_RELEASE_ZIP ${CMAKE_SOURCE_DIR}/dist/Velmora-${PROJECT_VERSION}.zip)
if(CMAKE_CROSSCOMPILING AND NOT VELMORA_WINDOWS_TESTS)
  set(velmora_release_family run-)
else()
  set(velmora_release_family "")
endif()
set(velmora_release_commands "")
foreach(bits 32 64)
  set(preset ${velmora_release_family}win${bits})
  list(APPEND velmora_release_commands
       COMMAND ${CMAKE_COMMAND} -DPRESET=${preset} -DSOURCE=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/ConfigureOnce.cmake
       COMMAND ${CMAKE_COMMAND} --build --preset ${preset} --target Velmora)
endforeach()
add_custom_target(release
  ${velmora_release_commands}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/make_release.py
          --win32 ${CMAKE_SOURCE_DIR}/build/${velmora_release_family}win32/Velmora.exe
          --win64 ${CMAKE_SOURCE_DIR}/build/${velmora_release_family}win64/Velmora.exe
          --source ${CMAKE_SOURCE_DIR} --out ${VELMORA_RELEASE_ZIP}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  COMMENT "Writing ${VELMORA_RELEASE_ZIP}"
  VERBATIM)

# The guide in the package: CRLF, 80 columns, and only texts the program prints. Run
# where the tests run on the package test.sh builds (the x86-64 build's, after
# `--target release`).
if(CMAKE_CROSSCOMPILING AND VELMORA_WINDOWS_TESTS AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  add_test(NAME release.guide COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/tools/check_guide.py
                                      ${VELMORA_RELEASE_ZIP})
  add_test(NAME release.guide.check-sees-faults
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/tools/check_guide.py --sees-faults
                   ${VELMORA_RELEASE_ZIP})
  set_tests_properties(release.guide release.guide.check-sees-faults PROPERTIES LABELS static)
endif()
