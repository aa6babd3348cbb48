# What `cmake --install` puts where (GNUInstallDirs places, by component):
#   runtime      the library (bin/ on Windows, lib/ elsewhere) and, on Linux, its host log
#   hostlog      Windows: the utils.dll stand-in, for machines without the host
#   development  the public headers, import libraries, the CMake package and
#                the pkg-config file
#   tool         obexsesctl and its manual page
#   docs         README, CHANGELOG, integration guide and the example host
#   debug        the .debug files of the Windows binaries (not installed by default)
option(OBEXSES_INSTALL "Generate the install rules" ON)
if(NOT OBEXSES_INSTALL)
  return()
endif()
include(CMakePackageConfigHelpers)

set(OBEXSES_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/obexses)

# On Windows the host log stand-in is a component of its own, so that an
# installation beside a host can leave it out: the host has its own utils.dll.
if(WIN32)
  set(hostlog_component hostlog)
else()
  set(hostlog_component runtime)
endif()
install(TARGETS obexses EXPORT obexsesTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(TARGETS obexses_hostlog EXPORT obexsesTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${hostlog_component}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${hostlog_component}
          NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES include/obexses/obexses.h include/obexses/client_session.h
              include/obexses/server_session.h ${PROJECT_BINARY_DIR}/include/obexses/version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/obexses COMPONENT development)

# find_package(obexses) gives obexses::obexses (and obexses::hostlog).
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
  # The tool links the host log, which is installed with the library.
  file(RELATIVE_PATH bin_to_lib /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(obexsesctl PROPERTIES INSTALL_RPATH "\$ORIGIN/${bin_to_lib}")
endif()
if(TARGET obexsesctl_man)
  install(FILES ${PROJECT_BINARY_DIR}/obexsesctl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT tool)
endif()

install(FILES README.md CHANGELOG.md docs/integration.md examples/minimal_host.c
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT docs)

if(WIN32 AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  foreach(target obexses obexses_hostlog obexsesctl)
    install(FILES $<TARGET_FILE:${target}>.debug DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT debug EXCLUDE_FROM_ALL)
  endforeach()
endif()
