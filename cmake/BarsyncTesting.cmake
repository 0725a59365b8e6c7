# GoogleTest: the system library natively, Debian's sources for the cross builds.
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Warnings of third-party code are not ours to fix.
  foreach(t gtest gtest_main gmock gmock_main)
    if(TARGET ${t})
      target_compile_options(${t} PRIVATE -Wno-error)
    endif()
  endforeach()
  add_library(barsync_gtest_main INTERFACE)
  target_link_libraries(barsync_gtest_main INTERFACE gtest_main gmock)
else()
  find_package(GTest REQUIRED)
  add_library(barsync_gtest_main INTERFACE)
  target_link_libraries(barsync_gtest_main INTERFACE GTest::gtest_main GTest::gmock)
endif()

include(GoogleTest)
get_filename_component(BARSYNC_WINE_GTEST ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-gtest.sh ABSOLUTE)

# Can this machine run the test programs at all? Where 32-bit wine cannot start (no
# 32-bit program support and no emulator installed), such test programs are built but
# reported as not run, with the launcher's reason.
set(BARSYNC_CAN_RUN_TESTS ON)
set(BARSYNC_CANNOT_RUN_REASON "")
if(CMAKE_CROSSCOMPILING)
  execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --version
                  RESULT_VARIABLE emulator_rc OUTPUT_QUIET ERROR_VARIABLE emulator_err)
  if(NOT emulator_rc EQUAL 0)
    string(STRIP "${emulator_err}" emulator_err)
    string(REPLACE "'" "" emulator_err "${emulator_err}")
    set(BARSYNC_CAN_RUN_TESTS OFF)
    set(BARSYNC_CANNOT_RUN_REASON
        "${CMAKE_CROSSCOMPILING_EMULATOR} cannot run on this machine (${emulator_err})")
    message(WARNING "Test programs will be built but not run: ${BARSYNC_CANNOT_RUN_REASON}")
  else()
    # Before the first test list is read: a wine server of this prefix and its services
    # (the first program of a server session starts them, and they would keep that
    # program's output pipe, so its test list, open). The server ends 30 s after its
    # last program; one started by hand with -p stays as it is.
    set(wine_start ${CMAKE_BINARY_DIR}/start_wine_services.cmake)
    file(WRITE ${wine_start}
         "execute_process(COMMAND sh -c \"/usr/lib/wine/wineserver64 -p30; "
         "/usr/lib/wine/wine64 cmd /c exit\" INPUT_FILE /dev/null OUTPUT_FILE /dev/null "
         "ERROR_FILE /dev/null)\n")
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES ${wine_start})
  endif()
endif()

# Under an emulator a cold start of a test program can take several seconds.
if(CMAKE_CROSSCOMPILING)
  set(BARSYNC_DISCOVERY_TIMEOUT 300)
else()
  set(BARSYNC_DISCOVERY_TIMEOUT 60)
endif()

# Registers every test of a GoogleTest program with CTest. Under wine the list is read
# at test time, so that discovery does not run wine during the build. Extra arguments
# are passed on to gtest_discover_tests (WORKING_DIRECTORY, for example).
function(barsync_add_gtests target)
  if(NOT BARSYNC_CAN_RUN_TESTS)
    add_test(NAME ${target}.not_run
             COMMAND sh -c "echo 'not run: ${BARSYNC_CANNOT_RUN_REASON}'; exit 77")
    set_tests_properties(${target}.not_run PROPERTIES SKIP_RETURN_CODE 77)
    return()
  endif()
  # Under wine through tools/wine-gtest.sh, which starts a program again when wine lost
  # its start (a failure without any output).
  if(CMAKE_CROSSCOMPILING)
    set_property(TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR
                 ${BARSYNC_WINE_GTEST} ${CMAKE_CROSSCOMPILING_EMULATOR})
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
                       DISCOVERY_TIMEOUT ${BARSYNC_DISCOVERY_TIMEOUT} ${ARGN}
                       PROPERTIES ENVIRONMENT "WINEDEBUG=-all")
endfunction()

# A Barsync-side test program: statically linked on Windows (spares wine the mingw
# runtime DLLs), then registered.
function(barsync_register_tests target)
  if(WIN32)
    target_link_options(${target} PRIVATE -static)
  endif()
  barsync_add_gtests(${target} ${ARGN})
endfunction()
