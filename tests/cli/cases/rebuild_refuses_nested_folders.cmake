# The archive root inside the minutes root (or the other way round, or the same folder):
# the rebuild is refused and nothing is removed.
set(ARGS -a rebuild -f data -t data/arch/ -l main.log -e errors.log)
function(case_setup)
  make_file(data/20260105/TQBR/SBER/1.dat "minutes")
  make_file(data/arch/TQBR/SBER.dat "precious")
endfunction()
function(case_check)
  expect_rc(0)
  expect_file(errors.log "Rebuild refused: Archive location [^\n]* and Minutes location [^\n]* are the same folder or one lies inside the other\n")
  expect_file(data/arch/TQBR/SBER.dat "^precious$")
  expect_file(data/20260105/TQBR/SBER/1.dat "^minutes$")
endfunction()
