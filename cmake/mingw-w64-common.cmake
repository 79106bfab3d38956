# Shared part of the two MinGW-w64 toolchain files; VELMORA_TRIPLE names the target.
find_program(CMAKE_C_COMPILER NAMES ${VELMORA_TRIPLE}-gcc-win32 ${VELMORA_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${VELMORA_TRIPLE}-g++-win32 ${VELMORA_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${VELMORA_TRIPLE}-windres REQUIRED)
find_program(VELMORA_OBJDUMP NAMES ${VELMORA_TRIPLE}-objdump REQUIRED)
set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Windows programs built here run under Wine, for ctest too: 64-bit ones through the
# 64-bit loader, 32-bit ones through the 32-bit loader of Debian's wine32, which is
# there only on machines that run 32-bit code.
if(VELMORA_TRIPLE MATCHES "^x86_64")
  find_program(VELMORA_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  if(NOT VELMORA_WINE)
    find_program(VELMORA_WINE NAMES wine64 wine)
  endif()
else()
  find_program(VELMORA_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
endif()
# ctest runs them through tools/wine-run.sh, which keeps Wine away from its pipes.
if(VELMORA_WINE)
  get_filename_component(velmora_wine_run ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh ABSOLUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${velmora_wine_run} ${VELMORA_WINE})
endif()
