# The action word is taken in any letter case; the run then starts (and, until the run
# driver is built, says that nothing was done; exit code 1 after a run).
set(ARGS -a ADDLAST -f . -t . -l main.log -e errors.log)
function(case_check)
  expect_rc(1)
  expect_file(main.log "Barsync, version 10\\.0\\.2\\.21\n")
  expect_file(errors.log "Action \"addlast\" is not available")
endfunction()
