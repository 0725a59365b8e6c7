# Runs crash_probe with one case in a fresh folder and judges the run from outside: the exit
# code, the dump file below Dumps/<today>/, and the lines of the main log and the errors log in
# their order.  cmake -DCASE=... -DPROBE=... [-DEMULATOR=...] -DWINDOWS=ON|OFF -DWORK_DIR=...
#   -P check_crash_run.cmake
cmake_minimum_required(VERSION 3.20)

set(failures "")
macro(fail text)
  string(APPEND failures "  ${text}\n")
endmacro()

# Regular expressions of the lines every report has, per platform.
set(exception_begin "^>>============ Exception =============$")
set(exception_end "^<<============ Exception =============$")
set(modules_begin "^>>=========== Module List ============$")
set(modules_end "^<<=========== Module List ============$")
set(stack_begin "^>>============ Call Stack ============$")
set(stack_end "^<<============ Call Stack ============$")
set(head "^[0-9][0-9]\\.[0-9][0-9]\\.[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\\.[0-9][0-9][0-9] \\([0-9]+(:[A-Z]+)?\\): ")

set(expect_dump OFF)
set(single "")
set(forbidden "probe: no fault")
set(errors_expected "")
if(WINDOWS)
  set(frame " \\[CallStack\\]  0x[0-9a-f]+  0x[0-9a-f]+  \\[Module=\"[^\"]*\"\\] \\[Source=\"[^\"]*\":[0-9]+\\] \\[Func=")
  set(thrown " \\[code:1234\\]$")
  # The whole sequence of a fault in the probe: dump, exception block, modules, stack, throw.
  macro(expect_full_report code parameters function)
    set(expect_dump ON)
    set(exception_line "^Exception 0x${code} occurred at address 0x[0-9A-F]+ \\(01:[0-9A-F]+ .*crash_probe\\.exe\\) params:${parameters}$")
    set(expected
        "Dump written: .*Dumps.[0-9]+.full[0-9][0-9][0-9][0-9][0-9][0-9]_[0-9][0-9][0-9]\\.dmp$"
        "${exception_begin}" "${exception_line}" "${exception_end}"
        "${modules_begin}" "crash_probe\\.exe:crash_probe\\.exe \\([^)]*\\), size: [0-9]+, SymType: '[^']*'"
        "${modules_end}" "${stack_begin}" "${frame}[^]]*${function}" "${frame}[^]]*main" "${stack_end}"
        "probe: unwound through the faulting frame" "Exception 0x${code} occurred at .*${thrown}")
    set(errors_expected "Exception 0x${code} occurred at .*${thrown}")
  endmacro()
  if(CASE STREQUAL "access")
    expect_full_report(C0000005 " 0x00000001, 0x00000010" ProbeWrite)
  elseif(CASE STREQUAL "divide")
    expect_full_report(C0000094 "" ProbeDivide)
  elseif(CASE STREQUAL "rpc1722")
    set(expected "${exception_begin}" "^Exception 0x6BA occurred at address 0x[0-9A-F]+ .*params:$" "${exception_end}"
        "${modules_begin}" "${modules_end}" "${stack_begin}" "${frame}[^]]*ProbeRaise" "${frame}[^]]*main" "${stack_end}"
        "probe: unwound through the faulting frame" "Exception 0x6BA .*${thrown}")
    list(APPEND forbidden "Dump written" "Dump not written")
  elseif(CASE STREQUAL "rpc1723")
    set(expected "^Error RPC_S_SERVER_TOO_BUSY:1723$" "probe: unwound through the faulting frame"
        "^Exception 0x6BB occurred at .*${thrown}")
    list(APPEND forbidden "Dump written" "Dump not written" "=== Exception ===" "Module List" "Call Stack")
  elseif(CASE STREQUAL "nodbghelp")
    # Wine's own switch for a missing library: dbghelp.dll cannot be loaded at all.
    set(ENV{WINEDLLOVERRIDES} "dbghelp=d")
    set(expected "^Dump not written: status 1 \\(dbghelp.dll could not be loaded\\)$"
        "${exception_begin}" "^Exception 0xC0000005 " "${exception_end}"
        "^ERROR: Error while initializing dbghelp.dll, GetLastError: 0 "
        "probe: unwound through the faulting frame" "Exception 0xC0000005 .*${thrown}")
    list(APPEND forbidden "Module List" "Call Stack" "Dump written")
  elseif(CASE STREQUAL "recursion")
    set(expect_dump ON)
    set(expected "Dump written: " "${exception_begin}" "^Exception 0xC0000005 " "${exception_end}"
        "${modules_begin}" "${modules_end}" "${stack_begin}" "${frame}[^]]*ProbeWrite" "${frame}[^]]*ProbeRecurse"
        "^ERROR: StackWalk64-Endless-CallStack!, GetLastError: " "${stack_end}"
        "probe: unwound through the faulting frame" "Exception 0xC0000005 .*${thrown}")
  elseif(CASE STREQUAL "overflow")
    # Reported from a thread of its own; the run cannot reach main's catch and ends here.
    set(expect_dump ON)
    set(expected "Dump written: " "${exception_begin}" "^Exception 0xC00000FD " "${exception_end}"
        "${modules_begin}" "${modules_end}" "${stack_begin}" "${frame}[^]]*ProbeOverflow"
        "^ERROR: StackWalk64-Endless-CallStack!, GetLastError: " "${stack_end}"
        "^Exception 0xC00000FD occurred at .*${thrown}"
        "^The run ends here: the fault cannot be handed to the program's entry$")
    set(errors_expected "^Exception 0xC00000FD occurred at .*${thrown}")
  else()
    message(FATAL_ERROR "unknown case ${CASE}")
  endif()
else()
  set(frame "^ \\[CallStack\\]  0x[0-9A-F]+  \\[Module=\"[^\"]+\"\\+0x[0-9A-F]+\\]")
  set(closing "^Fatal signal SIG[A-Z]+ \\([0-9]+\\): the run ends with exit code 1$")
  set(report_start "^No dump written: this platform has no dump service$" "${exception_begin}")
  set(report_end "${exception_end}" "${modules_begin}" "crash_probe \\(0x[0-9A-F]+\\), size: [0-9]+$"
      "${modules_end}" "${stack_begin}")
  if(CASE STREQUAL "access")
    set(expected ${report_start}
        "^Signal 11 \\(SIGSEGV\\), code 1: address not mapped \\(SEGV_MAPERR\\), fault address 0x0000000000000010, instruction 0x[0-9A-F]+ \\(.*crash_probe\\+0x[0-9A-F]+\\)$"
        ${report_end} "${frame} \\[Func=[^]]*ProbeWrite" "${frame} \\[Func=main\\+0x[0-9A-F]+\\]" "${stack_end}" "${closing}")
    list(APPEND forbidden "unwound")
  elseif(CASE STREQUAL "divide")
    set(expected ${report_start}
        "^Signal 8 \\(SIGFPE\\), code 1: integer divide by zero \\(FPE_INTDIV\\), fault address 0x[0-9A-F]+, instruction "
        ${report_end} "${frame} \\[Func=[^]]*ProbeDivide" "${stack_end}" "${closing}")
  elseif(CASE STREQUAL "overflow")
    set(expected ${report_start} "^Signal 11 \\(SIGSEGV\\), "
        "^The fault address lies next to the stack pointer: a stack overflow$"
        ${report_end} "${frame} \\[Func=[^]]*ProbeOverflow" "^ERROR: StackWalk64-Endless-CallStack!$"
        "${stack_end}" "${closing}")
  elseif(CASE STREQUAL "recursion")
    set(expected ${report_start} "^Signal 11 \\(SIGSEGV\\), " ${report_end}
        "${frame} \\[Func=[^]]*ProbeWrite" "${frame} \\[Func=[^]]*ProbeRecurse"
        "^ERROR: StackWalk64-Endless-CallStack!$" "${stack_end}" "${closing}")
  elseif(CASE STREQUAL "twothreads")
    # Both threads fault; only the first reports, the other waits for the end.
    set(expected ${report_start} "^Signal 11 \\(SIGSEGV\\), " ${report_end}
        "${frame} \\[Func=[^]]*ProbeWrite" "${stack_end}" "${closing}")
    set(single "${exception_begin}" "${modules_begin}" "${stack_begin}" "${closing}")
  else()
    message(FATAL_ERROR "unknown case ${CASE}")
  endif()
  set(errors_expected "${closing}")
endif()

# The run.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
string(TIMESTAMP day_before "%Y%m%d")
execute_process(COMMAND ${EMULATOR} "${PROBE}" "${CASE}" "crash.log"
                WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE rc
                OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 550)
string(TIMESTAMP day_after "%Y%m%d")
if(NOT rc STREQUAL "1")
  fail("exit code ${rc}, expected 1")
endif()

# The main log: each expected line after the previous one, with the log's line head.
set(log_lines "")
if(EXISTS "${WORK_DIR}/crash.log")
  file(STRINGS "${WORK_DIR}/crash.log" log_lines)
else()
  fail("no main log written")
endif()
set(bodies "")
foreach(l IN LISTS log_lines)
  if(NOT l MATCHES "${head}")
    fail("line without the log's head: ${l}")
  endif()
  string(REGEX REPLACE "${head}" "" body "${l}")
  list(APPEND bodies "${body}")
endforeach()
list(LENGTH bodies count)
set(position 0)
foreach(pattern IN LISTS expected)
  set(found -1)
  set(i ${position})
  while(i LESS count)
    list(GET bodies ${i} body)
    if(body MATCHES "${pattern}")
      set(found ${i})
      break()
    endif()
    math(EXPR i "${i} + 1")
  endwhile()
  if(found EQUAL -1)
    fail("missing (in this order) after line ${position}: ${pattern}")
  else()
    math(EXPR position "${found} + 1")
  endif()
endforeach()
foreach(pattern IN LISTS single)
  set(seen 0)
  foreach(body IN LISTS bodies)
    if(body MATCHES "${pattern}")
      math(EXPR seen "${seen} + 1")
    endif()
  endforeach()
  if(NOT seen EQUAL 1)
    fail("${seen} lines, expected one: ${pattern}")
  endif()
endforeach()
foreach(pattern IN LISTS forbidden)
  foreach(body IN LISTS bodies)
    if(body MATCHES "${pattern}")
      fail("unexpected line: ${body}")
    endif()
  endforeach()
endforeach()

# The errors log holds the error that ended the run.
if(errors_expected)
  set(errors_text "")
  if(EXISTS "${WORK_DIR}/crash.log.errors")
    file(READ "${WORK_DIR}/crash.log.errors" errors_text)
  endif()
  string(REGEX REPLACE "\n" ";" errors_lines "${errors_text}")
  set(seen OFF)
  foreach(l IN LISTS errors_lines)
    string(REGEX REPLACE "${head}" "" body "${l}")
    if(body MATCHES "${errors_expected}")
      set(seen ON)
    endif()
  endforeach()
  if(NOT seen)
    fail("errors log lacks: ${errors_expected}")
  endif()
endif()

# The dump: one non-empty minidump file below Dumps/<today>/, or no Dumps folder at all.
file(GLOB_RECURSE dumps LIST_DIRECTORIES false "${WORK_DIR}/Dumps/*")
if(expect_dump)
  list(LENGTH dumps dump_count)
  if(NOT dump_count EQUAL 1)
    fail("expected one dump file, found: ${dumps}")
  else()
    file(RELATIVE_PATH relative "${WORK_DIR}" "${dumps}")
    if(NOT relative MATCHES "^Dumps/(${day_before}|${day_after})/full[0-9][0-9][0-9][0-9][0-9][0-9]_[0-9][0-9][0-9]\\.dmp$")
      fail("dump file named ${relative}")
    endif()
    file(SIZE "${dumps}" dump_size)
    file(READ "${dumps}" signature LIMIT 4 HEX)
    if(dump_size LESS 1024 OR NOT signature STREQUAL "4d444d50")  # "MDMP"
      fail("dump file ${relative} is no minidump (${dump_size} bytes, starts with '${signature}')")
    endif()
  endif()
elseif(dumps)
  fail("unexpected dump files: ${dumps}")
endif()

if(failures)
  message("----- main log -----")
  foreach(l IN LISTS log_lines)
    message("${l}")
  endforeach()
  message("----- standard output -----\n${out}\n----- standard error -----\n${err}")
  message(FATAL_ERROR "crash case ${CASE} failed:\n${failures}")
endif()
# The full dumps are large: keep the folder only when something failed.
file(REMOVE_RECURSE "${WORK_DIR}/Dumps")
message(STATUS "crash case ${CASE}: exit code 1, report complete and in order")
