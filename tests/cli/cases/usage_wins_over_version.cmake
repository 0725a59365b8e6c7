# With both "-?" and "-v" only the usage text is printed.
set(ARGS -v -?)
function(case_check)
  expect_rc(0)
  expect_stdout_equals_file(usage.txt)
endfunction()
