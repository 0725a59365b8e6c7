#!/bin/sh
# Stands in for a wine that loses starts: every third start ends with exit code 1 and no
# output before the program runs, as wine's start of a program once did on a loaded
# machine. The model test must start such a run again, not report it as the program's.
# The count of starts is kept in $LOSSY_LAUNCHER_COUNT.
n=$(cat "$LOSSY_LAUNCHER_COUNT" 2>/dev/null || echo 0)
n=$((n + 1))
echo "$n" >"$LOSSY_LAUNCHER_COUNT"
[ $((n % 3)) = 0 ] && exit 1
exec "$@"
