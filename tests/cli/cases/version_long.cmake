# "--version": the version line, one notice line, exit code 0; no log is opened.
set(ARGS --version -l main.log)
function(case_check)
  expect_rc(0)
  expect_stdout("^Barsync 10\\.0\\.2\\.21\n[^\n]+\n$")
  expect_missing(main.log)
endfunction()
