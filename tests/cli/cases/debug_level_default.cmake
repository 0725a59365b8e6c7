# The default level 1 writes no SetLogLevel line, and shows the banner in the log.
set(ARGS -a test -f . -t . -l main.log)
function(case_check)
  expect_rc(1)
  expect_no_stdout("SetLogLevel")
  expect_file_lacks(main.log "SetLogLevel")
  expect_file(main.log "Barsync, version")
endfunction()
