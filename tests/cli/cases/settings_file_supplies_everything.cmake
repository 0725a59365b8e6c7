# Every setting comes from Barsync.ini when its option is absent; section and key names
# ignore letter case.
set(INI "[general]\nACTION = Add\nminutes=min\nArchive=arch\nDate=20260105\n[OUTPUT]\nLogs=logs/main.log\nErrors=logs/errors.log\n")
set(ARGS "")
function(case_setup)
  file(MAKE_DIRECTORY ${WORK}/min ${WORK}/arch ${WORK}/logs)
endfunction()
function(case_check)
  expect_rc(1)
  expect_file(logs/main.log "Init log: PID=[0-9]+, LogLevel=1, File='[^']*main\\.log'\n")
  expect_file(logs/errors.log "Action \"add\" is not available")
  expect_no_stdout("Barsync, version")
endfunction()
