# Release packages (cmake --build --preset P --target package, or cpack in the build
# folder), versioned from the version Barsync prints:
#   linux  Barsync-<version>-linux.tar.gz  Barsync, archive_csv, Barsync.ini, README.txt
#   win64  Barsync-<version>-win64.zip     the same for Windows (.exe)
#   win32  Korvex-SDK-<version>-win32.zip  Korvex.dll with its runtime DLLs, ombrel.dll,
#          headers, Korvex.def, import libraries for mingw and MSVC hosts, a host example
file(STRINGS ${PROJECT_SOURCE_DIR}/app/app_constants.h version_line REGEX "kVersion\\[\\] = ")
string(REGEX MATCH "\"([0-9.]+)\"" _ "${version_line}")
set(BARSYNC_PACKAGE_VERSION ${CMAKE_MATCH_1})
if(NOT BARSYNC_PACKAGE_VERSION)
  message(FATAL_ERROR "no version found in app/app_constants.h")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/app/app_constants.h ${PROJECT_SOURCE_DIR}/README.md)

set(package_files ${CMAKE_BINARY_DIR}/package-files)

# README.txt: the operator's part of README.md (running Barsync, crash reports).
function(barsync_operator_readme out)
  file(READ ${PROJECT_SOURCE_DIR}/README.md text)
  string(FIND "${text}" "## Running Barsync by hand" first)
  string(FIND "${text}" "## Building by hand" last)
  if(first EQUAL -1 OR last LESS_EQUAL first)
    message(FATAL_ERROR "README.md lacks the sections of the operator's text")
  endif()
  math(EXPR length "${last} - ${first}")
  string(SUBSTRING "${text}" ${first} ${length} part)
  file(WRITE ${out} "Barsync ${BARSYNC_PACKAGE_VERSION}\n\n${part}")
endfunction()

if(BUILD_BARSYNC AND TARGET Barsync AND NOT (WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4))
  barsync_operator_readme(${package_files}/README.txt)
  install(TARGETS Barsync archive_csv RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/tools/package/Barsync.ini ${package_files}/README.txt
          DESTINATION .)
  set(CPACK_PACKAGE_NAME Barsync)
  if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_GENERATOR TGZ)
    set(CPACK_SYSTEM_NAME linux)
  endif()
elseif(BUILD_KORVEX AND TARGET Korvex)
  # The import libraries, made from the export names of Korvex.def with each
  # standard-convention name ("_ExcFilter@4") given as the import of the symbol a host
  # references for it (__imp__ExcFilter@4, the same for GCC and MSVC on x86). The linker's
  # own import library would offer __imp___ExcFilter@4, which no host asks for.
  find_program(KORVEX_DLLTOOL NAMES i686-w64-mingw32-dlltool REQUIRED)
  set(korvex_def ${CMAKE_BINARY_DIR}/korvex/Korvex.def)
  file(READ ${korvex_def} def_text)
  string(REGEX REPLACE "(^|\n)_([A-Za-z_0-9]+@[0-9]+)=[A-Za-z_0-9@]+" "\\1\\2 == _\\2" import_def
                       "${def_text}")
  file(WRITE ${package_files}/Korvex.imports.def "${import_def}")
  set(import_libs ${package_files}/libKorvex.dll.a ${package_files}/Korvex.lib)
  foreach(lib IN LISTS import_libs)
    add_custom_command(OUTPUT ${lib}
      COMMAND ${KORVEX_DLLTOOL} -m i386 -d ${package_files}/Korvex.imports.def -D Korvex.dll
              -l ${lib}
      DEPENDS ${package_files}/Korvex.imports.def VERBATIM)
  endforeach()
  add_custom_target(korvex_import_libs ALL DEPENDS ${import_libs})

  install(TARGETS Korvex RUNTIME DESTINATION .)
  install(TARGETS ombrel RUNTIME DESTINATION .)
  install(FILES ${KORVEX_RUNTIME_DLLS} ${korvex_def} ${import_libs}
                ${PROJECT_SOURCE_DIR}/korvex/sdk_example/BUILD.txt DESTINATION .)
  file(GLOB korvex_headers ${PROJECT_SOURCE_DIR}/korvex/Common/include/*.h)
  install(FILES ${korvex_headers} DESTINATION include)
  install(FILES ${PROJECT_SOURCE_DIR}/korvex/sdk_example/host.cpp DESTINATION example)
  set(CPACK_PACKAGE_NAME Korvex-SDK)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
else()
  return()
endif()

set(BARSYNC_PACKAGE_GENERATOR ${CPACK_GENERATOR})
set(CPACK_PACKAGE_VERSION ${BARSYNC_PACKAGE_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${BARSYNC_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)

add_subdirectory(${PROJECT_SOURCE_DIR}/tests/package ${CMAKE_BINARY_DIR}/tests/package)
