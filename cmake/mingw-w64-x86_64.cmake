# The project's own cross build: the toolchain that Tarvex ships to application
# projects, with the test programs run under Wine.
include(${CMAKE_CURRENT_LIST_DIR}/../package/mingw-w64-x86_64.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
