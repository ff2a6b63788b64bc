# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads, msvcrt).
# Installed beside Tarvex's package config, it also lets an application project find
# Tarvex: pass -DCMAKE_TOOLCHAIN_FILE=<tarvex>/lib/cmake/Tarvex/mingw-w64-x86_64.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# find_package looks only below the find root, where Tarvex is not: name its folder
# (when this file is the installed one, beside the package).
if(EXISTS "${CMAKE_CURRENT_LIST_DIR}/TarvexTargets.cmake")
  set(Tarvex_DIR "${CMAKE_CURRENT_LIST_DIR}" CACHE PATH "The folder of TarvexConfig.cmake")
endif()
