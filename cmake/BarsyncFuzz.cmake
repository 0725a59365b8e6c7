# libFuzzer targets (the fuzz preset). Every translation unit is already built with
# -fsanitize=fuzzer-no-link (coverage) and the sanitizers; the targets link libFuzzer.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "BUILD_FUZZ needs clang (cmake --preset fuzz)")
endif()

# The short run of every target in CTest: bounded by a number of runs with a fixed seed
# (so that what it tries does not depend on the machine's speed) and, as a safety net
# on a very slow machine, by time. Both ways end with success unless an input fails.
set(BARSYNC_FUZZ_CI_RUNS 500 CACHE STRING "Mutations per fuzz target in the CTest run")
set(BARSYNC_FUZZ_CI_SECONDS 60 CACHE STRING "Time bound per fuzz target in the CTest run")

# barsync_fuzz_target(name source libs...): the program fuzz_<name>, added to fuzz_targets,
# and the test fuzz.<name> over tests/fuzz/corpus/<name> (seeds) and
# tests/fuzz/regressions/<name> (inputs that once failed). New inputs the run finds go to
# a scratch corpus in the build tree, never to the source tree.
function(barsync_fuzz_target name source)
  set(target fuzz_${name})
  add_executable(${target} ${source})
  target_link_libraries(${target} PRIVATE ${ARGN})
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzz_targets ${target})
  set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  set(regressions ${CMAKE_CURRENT_SOURCE_DIR}/regressions/${name})
  set(scratch ${CMAKE_CURRENT_BINARY_DIR}/scratch/${name})
  set(dirs ${scratch})
  foreach(dir ${seeds} ${regressions})
    if(IS_DIRECTORY ${dir})
      list(APPEND dirs ${dir})
    endif()
  endforeach()
  list(JOIN dirs " " dir_words)
  add_test(NAME fuzz.${name}
           COMMAND sh -c "rm -rf '${scratch}' && mkdir -p '${scratch}' && exec \"$0\" \"$@\" ${dir_words}"
                   $<TARGET_FILE:${target}> -seed=1 -runs=${BARSYNC_FUZZ_CI_RUNS}
                   -max_total_time=${BARSYNC_FUZZ_CI_SECONDS} -timeout=60 -rss_limit_mb=4096
                   -close_fd_mask=1 -print_final_stats=1
                   -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/${name}-)
  # Every archive write is flushed to disk: a memory file system keeps that cheap.
  if(IS_DIRECTORY /dev/shm)
    set_tests_properties(fuzz.${name} PROPERTIES ENVIRONMENT "TMPDIR=/dev/shm")
  endif()
endfunction()
