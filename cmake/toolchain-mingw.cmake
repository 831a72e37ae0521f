# Cross-compiling for Windows with mingw-w64; tests run under Wine.
# TQ_ARCH: i686 (the product) or x86_64 (the test build where 32-bit code
# cannot run); set by the toolchain-<arch>-mingw.cmake wrappers.
set(CMAKE_SYSTEM_NAME Windows)
if(TQ_ARCH STREQUAL "x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(TQ_ARCH i686)
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()
set(TQ_TRIPLE ${TQ_ARCH}-w64-mingw32)

# The -posix variants: the win32 thread model has no std::thread / std::mutex.
set(CMAKE_C_COMPILER   ${TQ_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TQ_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${TQ_TRIPLE}-windres)
set(CMAKE_AR           /usr/bin/${TQ_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       /usr/bin/${TQ_TRIPLE}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${TQ_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The Wine loader, its wineserver and the prefixes' arch, as set-up chose
# them (the 32-bit ones for the i686 build).
if(TQ_ARCH STREQUAL "x86_64")
  find_program(TQ_WINE NAMES wine64 HINTS /usr/lib/wine REQUIRED)
  find_program(TQ_WINESERVER NAMES wineserver64 HINTS /usr/lib/wine REQUIRED)
  set(TQ_WINEARCH win64 CACHE STRING "Arch of the test runs' Wine prefixes")
else()
  find_program(TQ_WINE NAMES wine HINTS /usr/lib/wine REQUIRED)
  find_program(TQ_WINESERVER NAMES wineserver32 HINTS /usr/lib/wine REQUIRED)
  set(TQ_WINEARCH win32 CACHE STRING "Arch of the test runs' Wine prefixes")
endif()
get_filename_component(TQ_SCRIPTS_DIR ${CMAKE_CURRENT_LIST_DIR}/../scripts ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TQ_SCRIPTS_DIR}/wine-run.sh ${TQ_WINE})
