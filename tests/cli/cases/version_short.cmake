# "-v" is the short form of "--version".
set(ARGS -a add -v)
function(case_check)
  expect_rc(0)
  expect_stdout("^Barsync 10\\.0\\.2\\.21\n[^\n]+\n$")
endfunction()
