# DebugLevel 3 announces the change on standard output before the logs are opened.
set(INI "[General]\nDebugLevel=3\n")
set(ARGS -a test -f . -t . -l main.log)
function(case_check)
  expect_rc(1)
  expect_stdout("\\): SetLogLevel: 1 -> 3\n")
  expect_file(main.log "LogLevel=3")
endfunction()
