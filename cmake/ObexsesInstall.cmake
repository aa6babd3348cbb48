# SPDX-License-Identifier: MIT
# What `cmake --install` puts where (GNUInstallDirs places, by component):
#   runtime      the library (bin/ on Windows, lib/ elsewhere) and, on Linux, its host log
#   hostlog      Windows: the utils.dll stand-in, for machines without the host
#   development  the public headers, the development link or the import libraries
#                (MinGW's libobexses.dll.a, Visual C++'s obexses.lib), the CMake
#                package and the pkg-config file
#   tool         obexsesctl, its manual page and its bash completion
#   docs         README, CHANGELOG, LICENSE, integration guide and the example host
#   debug        the .debug files of the Windows binaries (not installed by default)
option(OBEXSES_INSTALL "Generate the install rules" ON)
if(NOT OBEXSES_INSTALL)
  return()
endif()
include(CMakePackageConfigHelpers)

set(OBEXSES_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/obexses)

install(TARGETS obexses EXPORT obexsesTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
if(WIN32)
  # Visual C++ links against obexses.lib, made by the cross toolchain's
  # dlltool from the same list of exports as the DLL itself.
  # Made in the build folder by its bare name, which its internal symbol
  # names are derived from.
  set(msvc_import_library ${PROJECT_BINARY_DIR}/obexses.lib)
  add_custom_command(OUTPUT ${msvc_import_library}
    COMMAND ${CMAKE_DLLTOOL} --machine i386:x86-64 --dllname obexses.dll
            --input-def ${PROJECT_SOURCE_DIR}/module/exports.def --output-lib obexses.lib
    DEPENDS ${PROJECT_SOURCE_DIR}/module/exports.def
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    COMMENT "Making obexses.lib for Visual C++ linkers"
    VERBATIM)
  add_custom_target(obexses_msvc_import_library ALL DEPENDS ${msvc_import_library})
  install(FILES ${msvc_import_library} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()
# The host log is the library's private part: nothing links it but the
# library and our tool, so it has no development link, no import library and
# no target in the CMake package. On Windows the stand-in is a component of
# its own, so that an installation beside a host can leave it out: the host
# has its own utils.dll.
if(WIN32)
  install(FILES $<TARGET_FILE:obexses_hostlog> DESTINATION ${CMAKE_INSTALL_BINDIR}
          COMPONENT hostlog)
else()
  install(TARGETS obexses_hostlog LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
          NAMELINK_SKIP)
endif()
install(FILES include/obexses/obexses.h include/obexses/client_session.h
              include/obexses/server_session.h ${PROJECT_BINARY_DIR}/include/obexses/version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/obexses COMPONENT development)

# find_package(obexses) gives obexses::obexses.
install(EXPORT obexsesTargets NAMESPACE obexses:: DESTINATION ${OBEXSES_CMAKE_DIR}
        COMPONENT development)
configure_package_config_file(cmake/obexsesConfig.cmake.in
  ${PROJECT_BINARY_DIR}/obexsesConfig.cmake INSTALL_DESTINATION ${OBEXSES_CMAKE_DIR})
# Before 1.0 a new minor release may change the interface: only the same
# major.minor satisfies a request.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/obexsesConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/obexsesConfig.cmake
              ${PROJECT_BINARY_DIR}/obexsesConfigVersion.cmake
        DESTINATION ${OBEXSES_CMAKE_DIR} COMPONENT development)

# pkg-config: paths relative to the .pc file itself, so that the installed
# tree can be moved (and installed with --prefix) as a whole.
file(RELATIVE_PATH OBEXSES_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" OBEXSES_PC_TO_PREFIX "${OBEXSES_PC_TO_PREFIX}")
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(OBEXSES_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(OBEXSES_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(cmake/obexses.pc.in ${PROJECT_BINARY_DIR}/obexses.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/obexses.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

install(TARGETS obexsesctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
if(NOT WIN32)
  # The tool links the host log, which is installed with the library, and its
  # demo loads the library by the soname's file there. In the build tree the
  # library lies beside the tool, which looks there first.
  file(RELATIVE_PATH bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  if(bin_to_lib STREQUAL "")
    set(bin_to_lib .)
  endif()
  set_target_properties(obexsesctl PROPERTIES INSTALL_RPATH "\$ORIGIN/${bin_to_lib}")
  target_compile_definitions(obexsesctl PRIVATE
    "OBEXSESCTL_LIBRARY_FROM_BIN=\"${bin_to_lib}/$<TARGET_SONAME_FILE_NAME:obexses>\"")
endif()
if(NOT WIN32)
  install(FILES ${PROJECT_BINARY_DIR}/obexsesctl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT tool)
  install(FILES tools/obexsesctl/completion.bash RENAME obexsesctl
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions COMPONENT tool)
endif()

install(FILES README.md CHANGELOG.md LICENSE docs/integration.md examples/minimal_host.c
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT docs)

if(WIN32 AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  foreach(target obexses obexses_hostlog obexsesctl)
    install(FILES $<TARGET_FILE:${target}>.debug DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT debug EXCLUDE_FROM_ALL)
  endforeach()
endif()
