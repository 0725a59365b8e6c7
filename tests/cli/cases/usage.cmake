# "-?" prints the usage text and refuses to run.
set(ARGS -?)
function(case_check)
  expect_rc(0)
  expect_stdout_equals_file(usage.txt)
  expect_stderr_empty()
endfunction()
