# Without [Classes] the rebuild empties the whole archive tree before it starts, and keeps
# the minute exports.
set(INI "[Intervals]\nday=3000\n")
set(ARGS -a rebuild -f min -t arch -l main.log)
function(case_setup)
  make_file(min/20260105/TQBR/SBER/1.dat "minutes")
  make_file(arch/TQBR/SBER.dat "old")
  make_file(arch/SPBFUT/RIH6.dat "old")
endfunction()
function(case_check)
  expect_rc(1)
  expect_exists(arch)
  expect_missing(arch/TQBR/SBER.dat)  # the rebuild makes the class folder anew
  expect_missing(arch/SPBFUT)
  expect_file(min/20260105/TQBR/SBER/1.dat "^minutes$")
endfunction()
