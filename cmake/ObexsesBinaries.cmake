# SPDX-License-Identifier: MIT
# What the shipped binaries carry besides their code: on Linux a version
# script that exports one named version node and nothing else, on Windows a
# version resource and debug sections kept in a file of their own.

# Exports from target only what map names, under the map's version node, and
# records only the libraries whose symbols it really uses.
function(obexses_export_only target map)
  target_link_options(${target} PRIVATE "-Wl,--version-script=${map}" "-Wl,--as-needed")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
endfunction()

# Gives a Windows binary a version resource: the project's version, its file
# name and what it is, as Explorer's properties and support tools show them.
function(obexses_version_resource target file_name description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(OBEXSES_RC_FILETYPE VFT_APP)
  else()
    set(OBEXSES_RC_FILETYPE VFT_DLL)
  endif()
  set(OBEXSES_RC_FILENAME ${file_name})
  set(OBEXSES_RC_DESCRIPTION ${description})
  set(rc ${PROJECT_BINARY_DIR}/resources/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# Moves the debug sections of a Windows binary into <file>.debug beside it
# and links that file from the binary.
function(obexses_split_debug target)
  set(file $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=${file}.debug ${file}
    VERBATIM)
endfunction()
