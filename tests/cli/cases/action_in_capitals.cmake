# The action word is taken in any letter case: validation passes and the run starts
# (exit code 1 after a run).
set(INI "[Intervals]\nday=3000\n")
set(ARGS -a ADDLAST -f . -t . -l main.log -e errors.log)
function(case_check)
  expect_rc(1)
  expect_file(main.log "Barsync, version 10\\.0\\.2\\.21\n")
  expect_file_lacks(errors.log "Unknown action")
endfunction()
