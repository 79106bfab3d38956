# The Windows program, its platform layer and the tests that run under Wine.

# 32-bit: Windows XP SP3 and later; 64-bit: Windows XP x64 / Server 2003 and later.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VELMORA_SUBSYSTEM_VERSION 5.01)
  set(VELMORA_WINNT 0x0501)
else()
  set(VELMORA_SUBSYSTEM_VERSION 5.02)
  set(VELMORA_WINNT 0x0502)
endif()

add_library(velmora_platform STATIC
  src/platform/win32/AppInfo.cpp
  src/platform/win32/Console.cpp
  src/platform/win32/Account.cpp
  src/platform/win32/FileNames.cpp
  src/platform/win32/FileReading.cpp
  src/platform/win32/FileWriting.cpp
  src/platform/win32/Locale.cpp
  src/platform/win32/Process.cpp
  src/platform/win32/Threads.cpp
  src/platform/win32/Registry.cpp
  src/platform/win32/ShellFolders.cpp
  src/platform/win32/Streams.cpp
  src/platform/win32/Text.cpp
  src/platform/win32/SystemLibrary.cpp
  src/platform/win32/SystemInfo.cpp
  src/platform/win32/RealPaths.cpp
  src/platform/win32/VersionRecords.cpp
  src/platform/win32/WinText.cpp
  src/platform/win32/Wmi.cpp
  src/platform/win32/ErrorReport.cpp
)
target_include_directories(velmora_platform PUBLIC src PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(velmora_platform PUBLIC
  _WIN32_WINNT=${VELMORA_WINNT} WINVER=${VELMORA_WINNT} WIN32_LEAN_AND_MEAN NOMINMAX STRICT)
target_link_libraries(velmora_platform PRIVATE velmora_warnings)
set_target_properties(velmora_platform PROPERTIES UNITY_BUILD ${VELMORA_UNITY_BUILD})
target_link_libraries(velmora_platform PUBLIC ole32 oleaut32 uuid shell32 user32 gdi32 advapi32)

# Self-contained: no libgcc, libstdc++ or winpthread DLL beside the program.
set(VELMORA_STATIC_LINK -static -static-libgcc -static-libstdc++)
# Reproducible: no link timestamp, no build paths.
set(VELMORA_REPRO_COMPILE -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
set(VELMORA_REPRO_LINK -Wl,--no-insert-timestamp)
target_compile_options(velmora_logic PRIVATE ${VELMORA_REPRO_COMPILE})
target_compile_options(velmora_platform PRIVATE ${VELMORA_REPRO_COMPILE})

# The resource script and the manifest carry the project version: the file version
# as four numbers, and its text with the minor in two digits and the revision in
# four (major.MM.RRRR).
function(velmora_zero_pad number width out)
  string(LENGTH "${number}" length)
  math(EXPR missing "${width} - ${length}")
  set(zeros "")
  if(missing GREATER 0)
    string(REPEAT "0" ${missing} zeros)
  endif()
  set(${out} "${zeros}${number}" PARENT_SCOPE)
endfunction()
velmora_zero_pad(${PROJECT_VERSION_MINOR} 2 velmora_minor_text)
velmora_zero_pad(${PROJECT_VERSION_TWEAK} 4 velmora_revision_text)
set(VELMORA_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${velmora_minor_text}.${velmora_revision_text}")
set(VELMORA_RES_DIR ${CMAKE_SOURCE_DIR}/res)
set(VELMORA_MANIFEST ${CMAKE_BINARY_DIR}/res/Velmora.manifest)
configure_file(res/Velmora.manifest.in ${VELMORA_MANIFEST} @ONLY)
configure_file(res/Velmora.rc.in ${CMAKE_BINARY_DIR}/res/Velmora.rc @ONLY)
# The program's resources, for the program and for every Windows test program.
set(VELMORA_RC ${CMAKE_BINARY_DIR}/res/Velmora.rc)

add_executable(Velmora WIN32 src/platform/win32/WinMain.cpp ${VELMORA_RC})
target_include_directories(Velmora PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(Velmora PRIVATE velmora_logic velmora_platform velmora_warnings)
target_compile_options(Velmora PRIVATE ${VELMORA_REPRO_COMPILE})
target_link_options(Velmora PRIVATE ${VELMORA_STATIC_LINK} ${VELMORA_REPRO_LINK} -s
  -Wl,--subsystem,windows:${VELMORA_SUBSYSTEM_VERSION} -Wl,--tsaware
  -Wl,--major-os-version,5 -Wl,--minor-os-version,1)
set_target_properties(Velmora PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set_source_files_properties(${VELMORA_RC} PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/res/Velmora.ico;${VELMORA_MANIFEST};${CMAKE_SOURCE_DIR}/res/resource.h")

# The least work a quiet run does, timed beside it by bench/quiet-run.sh; built for it alone.
add_executable(VelmoraQuietBaseline EXCLUDE_FROM_ALL bench/QuietBaseline.cpp)
target_link_libraries(VelmoraQuietBaseline PRIVATE velmora_platform velmora_warnings)
target_link_options(VelmoraQuietBaseline PRIVATE ${VELMORA_STATIC_LINK})
set_target_properties(VelmoraQuietBaseline PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# The least work a scan does, timed beside it by bench/scan.sh; built for it alone.
add_executable(VelmoraScanFloor EXCLUDE_FROM_ALL bench/ScanFloor.cpp)
target_link_libraries(VelmoraScanFloor PRIVATE velmora_logic velmora_platform velmora_warnings)
target_link_options(VelmoraScanFloor PRIVATE ${VELMORA_STATIC_LINK})
set_target_properties(VelmoraScanFloor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The Windows tests are built by the Linux cross build, which runs them under Wine.
# Without them (./run.sh), the build still makes the console harness and the stand-in
# control files, which need no GoogleTest.
option(VELMORA_WINDOWS_TESTS "Build the Windows test programs and register the tests" ON)
if(CMAKE_CROSSCOMPILING)
  if(VELMORA_WINDOWS_TESTS)
    add_subdirectory(tests/win32)
  endif()
  foreach(dir tests/controlfiles tests/e2e)
    add_subdirectory(${dir})
  endforeach()
endif()
