# With the standard output redirected, lines after the logs are opened go to the files
# only; the log line carries the time stamp and thread prefix.
set(ARGS -a test -f . -t . -l main.log -e errors.log)
function(case_check)
  expect_rc(1)
  expect_no_stdout("Barsync, version")
  expect_no_stdout("Init log")
  expect_file(main.log "(^|\n)[0-9][0-9]\\.[0-9][0-9]\\.[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\\.[0-9][0-9][0-9] \\([0-9]+:GLOBAL\\): Barsync, version 10\\.0\\.2\\.21\n")
  expect_file_lacks(errors.log "Barsync, version")
endfunction()
