# An unknown action is refused with exit code 0; without log paths lines reach the console.
set(ARGS -a nonsense -f x -t y)
function(case_check)
  expect_rc(0)
  expect_stdout("[0-9][0-9]\\.[0-9][0-9]\\.[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\\.[0-9][0-9][0-9] \\([0-9]+:GLOBAL\\): Unknown action\n")
endfunction()
