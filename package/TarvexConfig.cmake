# Tarvex's CMake package for application projects:
#   Tarvex::module       the interface target of an application DLL: <tarvex/run_code.h>
#   tarvex_add_onefile   packs such a DLL and its data files into one executable
#   TARVEX_PACKER        the packer `tarvex` that runs on this host
# Everything is found relative to this file, so the installed tree can be moved.
if(CMAKE_VERSION VERSION_LESS 3.17)
  set(Tarvex_FOUND FALSE)
  set(Tarvex_NOT_FOUND_MESSAGE "Tarvex needs CMake 3.17 or later")
  return()
endif()

include("${CMAKE_CURRENT_LIST_DIR}/TarvexAddOnefile.cmake")
_tarvex_installed(_tarvex_prefix TARVEX_PACKER)
if(NOT EXISTS "${TARVEX_PACKER}")
  set(Tarvex_FOUND FALSE)
  set(Tarvex_NOT_FOUND_MESSAGE "this Tarvex has no packer for this machine: ${TARVEX_PACKER} is missing")
  unset(TARVEX_PACKER)
  return()
endif()

include("${CMAKE_CURRENT_LIST_DIR}/TarvexTargets.cmake")

# A module DLL carries the MinGW C and C++ runtime inside: the onefile executable holds
# only the files packed into it, and Windows has no libstdc++ of its own.
if(MINGW)
  get_target_property(_tarvex_link_options Tarvex::module INTERFACE_LINK_OPTIONS)
  if(NOT "-static" IN_LIST _tarvex_link_options)
    set_property(TARGET Tarvex::module APPEND PROPERTY INTERFACE_LINK_OPTIONS -static)
  endif()
endif()
unset(_tarvex_prefix)
unset(_tarvex_link_options)
