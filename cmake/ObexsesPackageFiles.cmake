# SPDX-License-Identifier: MIT
# Run by CPack after it has installed the components into its staging folder
# and before it packs them (CPACK_PRE_BUILD_SCRIPTS); the CPACK_ variables
# of ObexsesPackage.cmake are set.
#   DEB: what debhelper does for a Debian package: in each package the doc
#        folder /usr/share/doc/<package> with copyright and the Debian
#        changelog (compressed), manual pages compressed, shared libraries
#        not executable; the documents of the docs component go to the
#        development package's doc folder. dpkg-shlibdeps is shown the
#        library package's folder, so that the tool's use of the private
#        host log is recognised as the library package's.
#   ZIP: obexsesctl.exe and the utils.dll stand-in move to tools/, with a
#        copy of obexses.dll for the demo: bin/ holds only what is installed
#        beside a host.

# Compresses a file in place as Debian wants it: best compression, no name
# and no time stamp in the header.
function(obexses_gzip file)
  execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot compress ${file}")
  endif()
endfunction()

set(stage ${CPACK_TEMPORARY_DIRECTORY})

if(CPACK_GENERATOR STREQUAL "DEB")
  # Each package's description starts with its own synopsis: no project-wide
  # summary before it.
  unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
  foreach(group libs dev tools)
    string(TOUPPER ${group} GROUP)
    set(package ${CPACK_DEBIAN_${GROUP}_PACKAGE_NAME})
    set(root ${stage}/${group}${CPACK_PACKAGING_INSTALL_PREFIX})
    set(doc ${root}/share/doc/${package})
    if(IS_DIRECTORY ${root}/share/doc/obexses)
      file(RENAME ${root}/share/doc/obexses ${doc})
      # The copyright file says it for the package.
      file(REMOVE ${doc}/LICENSE)
    endif()
    file(MAKE_DIRECTORY ${doc})
    file(COPY_FILE ${CPACK_OBEXSES_FILES}/copyright ${doc}/copyright)
    file(COPY_FILE ${CPACK_OBEXSES_FILES}/changelog ${doc}/changelog)
    obexses_gzip(${doc}/changelog)

    if(group STREQUAL "libs")
      file(MAKE_DIRECTORY ${root}/share/lintian/overrides)
      file(COPY_FILE ${CPACK_OBEXSES_FILES}/lintian-overrides
           ${root}/share/lintian/overrides/${package})
    endif()

    file(GLOB_RECURSE manual_pages ${root}/share/man/*)
    foreach(page IN LISTS manual_pages)
      obexses_gzip(${page})
    endforeach()

    file(GLOB_RECURSE libraries LIST_DIRECTORIES false ${root}/lib/*.so.*)
    foreach(library IN LISTS libraries)
      if(NOT IS_SYMLINK ${library})
        file(CHMOD ${library} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
        get_filename_component(library_folder ${library} DIRECTORY)
        if(group STREQUAL "libs")
          set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${library_folder})
        endif()
      endif()
    endforeach()
  endforeach()
elseif(CPACK_GENERATOR STREQUAL "ZIP")
  file(MAKE_DIRECTORY ${stage}/tools)
  foreach(name obexsesctl.exe obexsesctl.exe.debug utils.dll utils.dll.debug)
    if(EXISTS ${stage}/bin/${name})
      file(RENAME ${stage}/bin/${name} ${stage}/tools/${name})
    endif()
  endforeach()
  file(COPY_FILE ${stage}/bin/obexses.dll ${stage}/tools/obexses.dll)
endif()
