# tarvex_add_onefile(<name> MAIN <dll-target> [DATA <dir>] [CONSOLE] [ICON <file>] [OUTPUT <path>])
#
# Adds the target <name>, built by ALL, that packs the DLL target MAIN and every file below
# DATA (at its path relative to DATA, beside the DLL) into one executable: <name>.exe in
# the current binary folder, or OUTPUT (relative to the current binary folder). CONSOLE
# makes a console program, ICON gives it the icons of an .ico file (relative to the
# current source folder). It packs again when the DLL, a data file (also one added or
# removed), the icon, the packer or the Launcher changes.

# The installed tree that holds this file, and in it the packer of the machine that
# builds: the Linux tarvex when cross-compiling from Linux, tarvex.exe on Windows. The
# packer takes the Launcher installed beside it.
function(_tarvex_installed prefix_var packer_var)
  get_filename_component(prefix "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../../.." ABSOLUTE)
  set(${prefix_var} "${prefix}" PARENT_SCOPE)
  if(CMAKE_HOST_WIN32)
    set(${packer_var} "${prefix}/bin/tarvex.exe" PARENT_SCOPE)
  else()
    set(${packer_var} "${prefix}/bin/tarvex" PARENT_SCOPE)
  endif()
endfunction()

function(tarvex_add_onefile name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "CONSOLE" "MAIN;DATA;ICON;OUTPUT" "")
  set(where "tarvex_add_onefile(${name})")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "${where}: unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(arg_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "${where}: ${arg_KEYWORDS_MISSING_VALUES} without a value")
  endif()
  if(NOT arg_MAIN)
    message(FATAL_ERROR "${where}: MAIN <dll-target> is missing")
  endif()
  if(NOT TARGET ${arg_MAIN})
    message(FATAL_ERROR "${where}: MAIN ${arg_MAIN} is not a target")
  endif()
  get_target_property(main_type ${arg_MAIN} TYPE)
  if(NOT main_type MATCHES "^(SHARED|MODULE)_LIBRARY$")
    message(FATAL_ERROR "${where}: MAIN ${arg_MAIN} must be a DLL: add_library(${arg_MAIN} SHARED ...)")
  endif()
  if(NOT WIN32)
    message(FATAL_ERROR "${where}: the application must be built for Windows; from Linux configure with "
                        "-DCMAKE_TOOLCHAIN_FILE=${CMAKE_CURRENT_FUNCTION_LIST_DIR}/mingw-w64-x86_64.cmake")
  endif()

  _tarvex_installed(prefix packer)
  file(GLOB launchers "${prefix}/bin/tarvex-launcher*.exe")

  if(arg_OUTPUT)
    get_filename_component(output "${arg_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  else()
    set(output "${CMAKE_CURRENT_BINARY_DIR}/${name}.exe")
  endif()
  get_filename_component(output_dir "${output}" DIRECTORY)
  # The application folder the packer reads, assembled anew for every pack.
  set(stage "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${name}.tarvex")

  set(copy_data)
  set(data_files)
  if(DEFINED arg_DATA)
    get_filename_component(data "${arg_DATA}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    if(NOT IS_DIRECTORY "${data}")
      message(FATAL_ERROR "${where}: DATA ${data} is not a folder")
    endif()
    # CONFIGURE_DEPENDS checks the folder again at every build. The list of names goes into
    # a file that changes only with the list, so that an added or removed file packs again.
    file(GLOB_RECURSE data_files LIST_DIRECTORIES false CONFIGURE_DEPENDS "${data}/*")
    set(names "")
    foreach(file IN LISTS data_files)
      file(RELATIVE_PATH relative "${data}" "${file}")
      string(APPEND names "${relative}\n")
    endforeach()
    set(data_list "${stage}.files")
    set(old_names "")
    if(EXISTS "${data_list}")
      file(READ "${data_list}" old_names)
    endif()
    if(NOT old_names STREQUAL names)
      file(WRITE "${data_list}" "${names}")
    endif()
    list(APPEND data_files "${data_list}")
    set(copy_data COMMAND "${CMAKE_COMMAND}" -E copy_directory "${data}" "${stage}")
  endif()

  set(options)
  set(icon)
  if(arg_CONSOLE)
    list(APPEND options --console)
  endif()
  if(arg_ICON)
    get_filename_component(icon "${arg_ICON}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    if(NOT EXISTS "${icon}")
      message(FATAL_ERROR "${where}: ICON ${icon} does not exist")
    endif()
    list(APPEND options --icon "${icon}")
  endif()

  get_filename_component(output_name "${output}" NAME)
  # The target depends on a stamp, not on the executable: CMake reads a dependency named
  # "<some target>.exe" as that target's own file (and for <name>.exe, the custom target
  # itself, as nothing), so the command would never run.
  set(stamp "${stage}.stamp")
  add_custom_command(OUTPUT "${output}" "${stamp}"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${stage}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${stage}" "${output_dir}"
    ${copy_data}
    COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE:${arg_MAIN}>" "${stage}"
    COMMAND "${packer}" pack "${stage}" --main "$<TARGET_FILE_NAME:${arg_MAIN}>" -o "${output}" ${options}
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${stage}"
    COMMAND "${CMAKE_COMMAND}" -E touch "${stamp}"
    DEPENDS ${arg_MAIN} ${data_files} ${icon} "${packer}" ${launchers}
    COMMENT "Packing ${output_name}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS "${stamp}")
endfunction()
