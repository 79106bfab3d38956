# Linux: the logic over fakes of the platform headers, and its tests.
find_package(GTest REQUIRED)
foreach(dir tests/fakes tests/unit bench fuzz)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
