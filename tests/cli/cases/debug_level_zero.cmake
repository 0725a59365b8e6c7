# DebugLevel 0 hides the banner but not the errors.
set(INI "[General]\nDebugLevel=0\n")
set(ARGS -a test -f . -t . -l main.log -e errors.log)
function(case_check)
  expect_rc(1)
  expect_stdout("SetLogLevel: 1 -> 0\n")
  expect_file_lacks(main.log "Barsync, version")
  expect_file(main.log "Init log: PID=[0-9]+, LogLevel=0, ")
endfunction()
