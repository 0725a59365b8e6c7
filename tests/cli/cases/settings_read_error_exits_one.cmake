# A settings file that cannot be read (here a folder in its place, which only POSIX
# systems open as a stream) ends the process through main's error path: exit code 1.
set(POSIX_ONLY TRUE)
set(ARGS -a test -f . -t .)
function(case_setup)
  file(MAKE_DIRECTORY ${WORK}/Barsync.ini)
endfunction()
function(case_check)
  expect_rc(1)
  expect_stdout("\\): Read ini file error\\. File\"[^\n]*Barsync\\.ini\" line:1\n")
endfunction()
