# Drops from a list of files those built only for another platform: a name ending in
# _win.cpp or _win_test.cpp is for Windows, one ending in _posix.cpp or _posix_test.cpp
# for every other system.
function(barsync_keep_this_platform out)
  set(result)
  foreach(f IN LISTS ARGN)
    get_filename_component(name ${f} NAME)
    if(name MATCHES "_win(_test)?\\.cpp$" AND NOT WIN32)
      continue()
    endif()
    if(name MATCHES "_posix(_test)?\\.cpp$" AND WIN32)
      continue()
    endif()
    list(APPEND result ${f})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# The sources of one directory: *.cpp without the *_test.cpp files, for this platform.
function(barsync_collect_sources out dir)
  file(GLOB all CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER all EXCLUDE REGEX "_test\\.cpp$")
  barsync_keep_this_platform(result ${all})
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# The unit tests of one directory (*_test.cpp), for this platform.
function(barsync_collect_tests out dir)
  file(GLOB all CONFIGURE_DEPENDS ${dir}/*_test.cpp)
  barsync_keep_this_platform(result ${all})
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# A static library of one Barsync subsystem directory, linked against the libraries
# that follow the directory (an interface library while the directory has no source).
function(barsync_subsystem_library name dir)
  barsync_collect_sources(srcs ${dir})
  if(NOT srcs)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# A unit-test program for the *_test.cpp files of one directory, linked against libs.
function(barsync_unit_tests name dir)
  barsync_collect_tests(tests ${dir})
  if(NOT tests)
    return()
  endif()
  add_executable(${name} ${tests})
  target_link_libraries(${name} PRIVATE ${ARGN} barsync_gtest_main)
  barsync_register_tests(${name})
endfunction()
