# A log file in a folder that does not exist: refused, the folder is named on standard error.
set(ARGS -a test -f . -t . -l nodir/main.log)
function(case_check)
  expect_rc(0)
  expect_stderr("^Can not find directory \"[^\n]*nodir\"\n$")
  expect_missing(nodir)
endfunction()
