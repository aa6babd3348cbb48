# Installs the built tree into a prefix inside WORK_DIR, starts the installed
# obexsesctl, then builds the consumer three ways (find_package, pkg-config,
# add_subdirectory of the source tree) and runs each; WORK_DIR is removed
# when all three passed.
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
# The installed tool finds the libraries it links in the installed tree.
run(${prefix}/bin/obexsesctl --help)

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
file(REMOVE_RECURSE ${WORK_DIR})
