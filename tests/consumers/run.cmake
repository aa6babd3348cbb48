# SPDX-License-Identifier: MIT
# Installs the built tree into a prefix inside WORK_DIR, checks the host log's
# place in it, runs the installed obexsesctl's demo, builds the consumer three
# ways (find_package, pkg-config, add_subdirectory of the source tree) and the
# examples against the installed package, and runs each; WORK_DIR is removed
# when all passed.
#
#   cmake -DSOURCE_DIR=... -DBUILD_DIR=... -DWORK_DIR=... -DGENERATOR=...
#         -DC_COMPILER=... -DCXX_COMPILER=... -DVERSION=... [-DSANITIZE=...] -P run.cmake
cmake_minimum_required(VERSION 3.22)

# Runs a command; stops with its output when it fails.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "failed (${status}): ${command}\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
# The host log is installed beside the library as a private part of it: no
# development link, no target of its own in the CMake package.
file(GLOB_RECURSE hostlog_files RELATIVE ${prefix} ${prefix}/*obexses-hostlog*)
file(GLOB_RECURSE package_files ${prefix}/*/obexsesTargets*.cmake)
set(exported)
foreach(file IN LISTS package_files)
  file(READ ${file} text)
  string(APPEND exported "${text}")
endforeach()
if(NOT hostlog_files MATCHES "libobexses-hostlog\\.so\\.0"
   OR hostlog_files MATCHES "libobexses-hostlog\\.so(;|$)" OR exported MATCHES "hostlog")
  message(FATAL_ERROR "the host log is not installed as the library's private part: "
                      "${hostlog_files}")
endif()

# The installed tool finds the libraries it links and, for its demo, the
# library it loads, in the installed tree. Records still held when the
# demo's first process ends are not freed, by design.
set(ENV{ASAN_OPTIONS} detect_leaks=0)
run(${prefix}/bin/obexsesctl demo --data ${WORK_DIR}/demo)
if(NOT output MATCHES "files/partial.tmp deleted" OR output MATCHES "not found")
  message(FATAL_ERROR "the installed obexsesctl demo:\n${output}")
endif()
message(STATUS "installed obexsesctl demo: the sessions came back after the restart")
unset(ENV{ASAN_OPTIONS})

# The consumers share the library's build flavour: an AddressSanitizer library
# needs its runtime loaded first, by the program.
set(flags)
if(SANITIZE)
  list(APPEND flags "-DCMAKE_C_FLAGS=-fsanitize=${SANITIZE}"
       "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${SANITIZE}")
endif()
# Where the library keeps its files while the consumers run.
set(ENV{XDG_DATA_HOME} ${WORK_DIR}/appdata)
set(ENV{OBEXSES_REGISTRY} ${WORK_DIR}/no-settings.reg)
file(GLOB pc_file ${prefix}/lib*/pkgconfig/obexses.pc ${prefix}/lib/*/pkgconfig/obexses.pc)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} "${pc_dir}")

foreach(way find_package pkg_config subdirectory)
  set(build ${WORK_DIR}/${way})
  string(TIMESTAMP started "%s")
  run(${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR} -B ${build} -G ${GENERATOR}
      -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
      -DOBEXSES_CONSUME=${way} -DCMAKE_PREFIX_PATH=${prefix}
      -DOBEXSES_SOURCE_DIR=${SOURCE_DIR} ${flags})
  run(${CMAKE_COMMAND} --build ${build} --target consumer --parallel 2)
  run(${build}/consumer)
  if(NOT output MATCHES "obexses ${VERSION}: linked and working")
    message(FATAL_ERROR "${way}: ${output}")
  endif()
  string(TIMESTAMP now "%s")
  math(EXPR seconds "${now} - ${started}")
  string(STRIP "${output}" output)
  message(STATUS "${way}: ${output} (built and run in ${seconds} s)")
endforeach()

# The examples as a project of their own against the installed package; the
# host runs on a private application-data folder under TMPDIR, which it
# removes.
set(build ${WORK_DIR}/examples)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples -B ${build} -G ${GENERATOR}
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_PREFIX_PATH=${prefix} ${flags})
run(${CMAKE_COMMAND} --build ${build} --parallel 2)
file(MAKE_DIRECTORY ${WORK_DIR}/tmp)
set(ENV{TMPDIR} ${WORK_DIR}/tmp)
file(GLOB library ${prefix}/lib*/libobexses.so.0 ${prefix}/lib/*/libobexses.so.0)
run(${build}/minimal_host ${library})
file(GLOB left ${WORK_DIR}/tmp/*)
if(NOT output MATCHES "minimal_host: ok" OR left)
  message(FATAL_ERROR "examples: ${output}\nleft behind: ${left}")
endif()
message(STATUS "examples: minimal_host built against the installed package: ok")
file(REMOVE_RECURSE ${WORK_DIR})
