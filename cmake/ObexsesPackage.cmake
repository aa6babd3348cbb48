# SPDX-License-Identifier: MIT
# Packages made by CPack from the install components (`cpack` in the build
# folder; they land in <build>/packages):
#   Linux, from a build configured with CMAKE_INSTALL_PREFIX=/usr: three Debian
#   packages
#     libobexses0     runtime: libobexses.so.0 and its private host log
#     libobexses-dev  development and docs: headers, the .so link, the CMake
#                     package, obexses.pc, the documents and the example host
#     obexses-tools   tool: obexsesctl and its manual page
#   Windows: one zip, obexses-<version>-win64.zip, with the library, its
#   .debug file, the import libraries, headers, CMake package and documents;
#   obexsesctl.exe with the utils.dll stand-in in a folder of its own, tools/,
#   so that nothing in bin/ shadows a host's own utils.dll.
# What dh_* would do for a Debian package (copyright, changelog, compressed
# manual pages, library modes) and the zip's tools/ folder are made by
# ObexsesPackageFiles.cmake, which CPack runs before it packs.
if(NOT PROJECT_IS_TOP_LEVEL OR NOT OBEXSES_INSTALL)
  return()
endif()

set(CPACK_PACKAGE_NAME obexses)
set(CPACK_PACKAGE_VENDOR "the obexses authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(OBEXSES_PACKAGE_CONTACT "the obexses authors <obexses@example.org>"
    CACHE STRING "Maintainer of the packages: name <address>")
set(CPACK_PACKAGE_CONTACT "${OBEXSES_PACKAGE_CONTACT}")
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/ObexsesPackageFiles.cmake)
# Read by ObexsesPackageFiles.cmake.
set(CPACK_OBEXSES_FILES ${PROJECT_BINARY_DIR}/package-files)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
  # Every component in one tree, the .debug files included (debug is left
  # out of a plain installation).
  set(CPACK_INSTALL_CMAKE_PROJECTS)
  foreach(component runtime hostlog development tool docs debug)
    list(APPEND CPACK_INSTALL_CMAKE_PROJECTS ${PROJECT_BINARY_DIR} ${PROJECT_NAME} ${component} /)
  endforeach()
  include(CPack)
  return()
endif()

set(CPACK_GENERATOR DEB)
# The packages install where the build was configured to: /usr for Debian,
# which also gives the multiarch library folder.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
set(CPACK_COMPONENTS_ALL runtime development docs tool)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The version carries no Debian revision: these are native packages, built
# from the project's own tree.
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_SOURCE obexses)
# Dependencies on the system's libraries come from dpkg-shlibdeps; the
# library package declares what its sonames need (a shlibs file) and the
# ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The packages, one a component group.
set(CPACK_DEBIAN_LIBS_PACKAGE_NAME libobexses${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libobexses-dev)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME obexses-tools)

# The copyright file of every package (machine-readable, with the licence's
# text) and the Debian changelog of this native package.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX REPLACE "^.*Copyright \\(c\\) ([^\n]*)\n\n" "" licence_text "${licence}")
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" copyright_holders "${licence}")
set(copyright_holders "${CMAKE_MATCH_1}")
string(STRIP "${licence_text}" licence_text)
string(REGEX REPLACE "\n\n" "\n.\n" licence_text "${licence_text}")
string(REGEX REPLACE "\n" "\n " licence_text "${licence_text}")
file(WRITE ${CPACK_OBEXSES_FILES}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: obexses
Upstream-Contact: ${OBEXSES_PACKAGE_CONTACT}

Files: *
Copyright: ${copyright_holders}
License: Expat
 ${licence_text}
")
# The date of the build, or SOURCE_DATE_EPOCH's for a reproducible one.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CPACK_OBEXSES_FILES}/changelog
"obexses (${PROJECT_VERSION}) unstable; urgency=medium

  * Version ${PROJECT_VERSION}; the changes are listed in CHANGELOG.md of
    ${CPACK_DEBIAN_DEV_PACKAGE_NAME}.

 -- ${OBEXSES_PACKAGE_CONTACT}  ${changelog_date}
")

# The library package updates the loader's cache through dpkg's ldconfig
# trigger. Its host log has no development link on purpose, which lintian
# is told.
file(WRITE ${CPACK_OBEXSES_FILES}/triggers "activate-noawait ldconfig\n")
file(WRITE ${CPACK_OBEXSES_FILES}/lintian-overrides
"# The host log is a private part of the library, found beside it; nothing links it at build time.
lacks-unversioned-link-to-shared-library example: usr/lib/*/libobexses-hostlog.so [usr/lib/*/libobexses-hostlog.so.*]
")

set(exact "(= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_LIBS_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBS_PACKAGE_MULTIARCH same)
set(CPACK_DEBIAN_LIBS_PACKAGE_CONTROL_EXTRA ${CPACK_OBEXSES_FILES}/triggers)
set(CPACK_DEBIAN_LIBS_DESCRIPTION "OBEX session store for Bluetooth OPP and FTP profile modules
obexses keeps the state of interrupted Bluetooth OBEX transfers so that they
can be resumed. A Bluetooth host loads it beside its Object Push and File
Transfer profile modules, which create, save, find and resume sessions
through its table of services. Saved sessions are kept in two XML files in
the user's data folder and read back when the host starts.

This package holds the shared library and its private host-log library.")

set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_MULTIARCH same)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${CPACK_DEBIAN_LIBS_PACKAGE_NAME} ${exact}")
set(CPACK_DEBIAN_DEV_DESCRIPTION "OBEX session store for Bluetooth profile modules - development files
obexses keeps the state of interrupted Bluetooth OBEX transfers so that they
can be resumed.

This package holds the C headers, the CMake package (find_package(obexses)),
the pkg-config file, the integration guide and an example host in C.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${CPACK_DEBIAN_LIBS_PACKAGE_NAME} ${exact}")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "OBEX session store for Bluetooth profile modules - support tool
obexsesctl lists, shows and verifies the saved sessions of obexses, recovers
the complete sessions of a damaged session file, removes old sessions, shows
the effective settings, and runs the library through a demonstration in a
folder of its own.")

include(CPack)
cpack_add_component_group(libs)
cpack_add_component_group(dev)
cpack_add_component_group(tools)
cpack_add_component(runtime GROUP libs)
cpack_add_component(development GROUP dev DEPENDS runtime)
cpack_add_component(docs GROUP dev)
cpack_add_component(tool GROUP tools DEPENDS runtime)
