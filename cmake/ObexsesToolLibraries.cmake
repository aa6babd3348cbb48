# SPDX-License-Identifier: MIT
# obexsesctl_libraries: CLI11, nlohmann/json and {fmt}, header-only, for
# obexsesctl alone. A native build finds their CMake packages. The Windows
# cross-build takes the same headers from the build machine (Debian's
# libcli11-dev, nlohmann-json3-dev and libfmt-dev): a folder of its own holds
# links to those three folders only, so that nothing else of the build
# machine's /usr/include reaches the MinGW compiler.
add_library(obexsesctl_libraries INTERFACE)
if(CMAKE_CROSSCOMPILING)
  set(OBEXSES_TOOL_HEADERS /usr/include CACHE PATH
      "Where the CLI, nlohmann and fmt header folders of obexsesctl's libraries are")
  set(view ${PROJECT_BINARY_DIR}/tool-headers)
  file(MAKE_DIRECTORY ${view})
  foreach(folder CLI nlohmann fmt)
    if(NOT EXISTS ${OBEXSES_TOOL_HEADERS}/${folder})
      message(FATAL_ERROR "obexsesctl needs ${OBEXSES_TOOL_HEADERS}/${folder} "
                          "(scripts/setup.sh windows installs it)")
    endif()
    file(CREATE_LINK ${OBEXSES_TOOL_HEADERS}/${folder} ${view}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(obexsesctl_libraries SYSTEM INTERFACE ${view})
  target_compile_definitions(obexsesctl_libraries INTERFACE FMT_HEADER_ONLY)
else()
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3.10 CONFIG REQUIRED)
  find_package(fmt 8 CONFIG REQUIRED)
  target_link_libraries(obexsesctl_libraries INTERFACE CLI11::CLI11 nlohmann_json::nlohmann_json
                                                      fmt::fmt-header-only)
endif()
