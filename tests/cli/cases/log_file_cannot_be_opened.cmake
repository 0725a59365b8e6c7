# A log path that passes the checks but cannot be opened (a folder of that name): the
# error is printed and the run goes on, its lines on the standard output since no file
# can keep them.
set(ARGS -a test -f . -t . -l logs)
function(case_setup)
  file(MAKE_DIRECTORY ${WORK}/logs)
endfunction()
function(case_check)
  expect_rc(1)
  expect_stdout("^Log init error \\(Code=[0-9]+\\): [^\n]+\n")
  expect_stdout("\\): Barsync, version 10\\.0\\.2\\.21\n")
endfunction()
