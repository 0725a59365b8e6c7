# A Barsync.ini whose [Intervals] section is missing or misspelt leaves nothing to archive:
# a writing action is refused with a line in the errors log instead of walking the tree,
# writing nothing and ending like a good run.
set(INI "[Interval]\nday=3000\n")
set(ARGS -a add -d 20260105 -f min -t arch -l main.log -e errors.log)
function(case_setup)
  make_file(min/20260105/TQBR/SBER/1.dat "minutes")
  file(MAKE_DIRECTORY ${WORK}/arch)
endfunction()
function(case_check)
  expect_rc(0)
  expect_file(errors.log "No interval to keep: \\[Intervals\\] of Barsync.ini names none; nothing was done\n")
  expect_missing(arch/TQBR)
  expect_missing(arch/Barsync.lock)
endfunction()
