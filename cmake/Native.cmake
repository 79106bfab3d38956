# Linux: the logic over fakes of the platform headers, and its tests.
find_package(GTest REQUIRED)
option(VELMORA_BENCHMARKS "Build the CRC-32 benchmark" ON)
# The stand-in control files come first: the unit tests and the fuzz seeds read them.
set(velmora_native_dirs tests/controlfiles tests/fakes tests/unit fuzz)
if(VELMORA_BENCHMARKS)
  list(APPEND velmora_native_dirs bench)
endif()
foreach(dir ${velmora_native_dirs})
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
