# "-d" as the last argument gives an empty date; [General] Date is not consulted.
set(INI "[General]\nDate=20260105\n")
set(ARGS -a add -f . -t . -l main.log -d)
function(case_check)
  expect_rc(0)
  expect_file(main.log "\\): Date is not specified\n")
endfunction()
