# Every setting comes from Barsync.ini when its option is absent; section and key names
# ignore letter case.
set(INI "[general]\nACTION = Add\nminutes=min\nArchive=arch\nDate=20260105\n[OUTPUT]\nLogs=logs/main.log\nErrors=logs/errors.log\n[Intervals]\nday=3000\n")
set(ARGS "")
function(case_setup)
  file(MAKE_DIRECTORY ${WORK}/min/20260105 ${WORK}/arch ${WORK}/logs)
endfunction()
function(case_check)
  expect_rc(1)
  expect_file(logs/main.log "Init log: PID=[0-9]+, LogLevel=1, File='[^']*main\\.log'\n")
  expect_file(logs/main.log "Barsync, version")
  expect_file_lacks(logs/errors.log "not specified|Unknown action")
  expect_no_stdout("Barsync, version")
endfunction()
