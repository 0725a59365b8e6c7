# Runs one end-to-end case (cmake -P). Inputs: CASE (the case file), PROGRAM (the built
# Barsync), EMULATOR (wine for the Windows build, else empty), WORK (a folder of its own),
# EXPECTED_DIR (files of expected output), TARGET_WINDOWS (true for Barsync.exe).
#
# A case file sets ARGS (the program's arguments), optionally INI (the text of
# Barsync.ini) and POSIX_ONLY (a line "set(POSIX_ONLY TRUE)": the case is reported as
# skipped for Windows), and may define case_setup() (runs in WORK before the program) and
# case_check() (runs after it, with OUT, ERR and RC set). Checks report through the
# expect_* functions below; every failed check is listed, then the case fails.

cmake_minimum_required(VERSION 3.20)

function(fail message)
  set_property(GLOBAL APPEND PROPERTY CLI_FAILURES "${message}")
endfunction()

function(expect_rc expected)
  if(NOT RC STREQUAL "${expected}")
    fail("exit code ${RC}, expected ${expected}")
  endif()
endfunction()

# Standard output equals a file of EXPECTED_DIR byte for byte (line ends aside).
function(expect_stdout_equals_file name)
  file(READ ${EXPECTED_DIR}/${name} expected)
  if(NOT OUT STREQUAL expected)
    fail("standard output differs from ${name}:\n[${OUT}]\nexpected:\n[${expected}]")
  endif()
endfunction()

function(expect_stdout regex)
  if(NOT OUT MATCHES "${regex}")
    fail("standard output does not match [${regex}]:\n${OUT}")
  endif()
endfunction()

function(expect_no_stdout regex)
  if(OUT MATCHES "${regex}")
    fail("standard output unexpectedly matches [${regex}]:\n${OUT}")
  endif()
endfunction()

function(expect_stderr regex)
  if(NOT ERR MATCHES "${regex}")
    fail("standard error does not match [${regex}]:\n${ERR}")
  endif()
endfunction()

function(expect_stderr_empty)
  if(NOT ERR STREQUAL "")
    fail("standard error is not empty:\n${ERR}")
  endif()
endfunction()

# The file (relative to WORK) exists and its text matches regex.
function(expect_file path regex)
  if(NOT EXISTS ${WORK}/${path})
    fail("${path} does not exist")
    return()
  endif()
  file(READ ${WORK}/${path} text)
  if(NOT text MATCHES "${regex}")
    fail("${path} does not match [${regex}]:\n${text}")
  endif()
endfunction()

function(expect_file_lacks path regex)
  if(EXISTS ${WORK}/${path})
    file(READ ${WORK}/${path} text)
    if(text MATCHES "${regex}")
      fail("${path} unexpectedly matches [${regex}]:\n${text}")
    endif()
  endif()
endfunction()

function(expect_exists path)
  if(NOT EXISTS ${WORK}/${path})
    fail("${path} should exist")
  endif()
endfunction()

function(expect_missing path)
  if(EXISTS ${WORK}/${path} OR IS_SYMLINK ${WORK}/${path})
    fail("${path} should be gone")
  endif()
endfunction()

# Creates a file (relative to WORK) with the given text, making its folders.
function(make_file path text)
  file(WRITE ${WORK}/${path} "${text}")
endfunction()

set(ARGS "")
unset(INI)
include(${CASE})

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
get_filename_component(program_name ${PROGRAM} NAME)
# Natively a hard link where the file system allows it (the sanitizer build is 30 MB);
# under wine a copy: wine knows an image by its file, so a program started through one of
# several links could find itself in another case's folder.
if(EMULATOR)
  file(COPY ${PROGRAM} DESTINATION ${WORK})
else()
  file(CREATE_LINK ${PROGRAM} ${WORK}/${program_name} COPY_ON_ERROR)
endif()
if(DEFINED INI)
  file(WRITE ${WORK}/Barsync.ini "${INI}")
endif()
if(COMMAND case_setup)
  case_setup()
endif()

set(command ${WORK}/${program_name} ${ARGS})
if(EMULATOR)
  set(command ${EMULATOR} ${command})
endif()
execute_process(COMMAND ${command}
                WORKING_DIRECTORY ${WORK}
                RESULT_VARIABLE RC
                OUTPUT_VARIABLE OUT
                ERROR_VARIABLE ERR
                INPUT_FILE /dev/null
                TIMEOUT 60)
# Windows text-mode output ends lines in CR LF.
string(REPLACE "\r\n" "\n" OUT "${OUT}")
string(REPLACE "\r\n" "\n" ERR "${ERR}")

if(COMMAND case_check)
  case_check()
endif()

get_property(failures GLOBAL PROPERTY CLI_FAILURES)
if(failures)
  string(REPLACE ";" "\n---\n" failures "${failures}")
  message(FATAL_ERROR "case ${CASE}:\n${failures}\n--- standard output:\n${OUT}\n--- standard error:\n${ERR}")
endif()
# A case that passed leaves no folder behind (a failed one keeps it for inspection).
if(NOT "$ENV{BARSYNC_KEEP_TEST_WORK}")
  file(REMOVE_RECURSE ${WORK})
endif()
