#!/bin/sh
# Runs a Windows program under Wine: run-program.sh WINE PROGRAM [ARGUMENT...].
# A program's own fault ends it with an exception code (an access violation
# gives status 5); a signal kills only Wine's loader. Wine 8's loader is,
# seldom, killed by SIGSEGV as a short-lived program ends, after its work is
# done: the program then runs once more, and that run decides.
wine=$1
shift
"$wine" "$@"
status=$?
if [ "$status" -eq 139 ]; then
    echo "run-program.sh: Wine's loader was killed by SIGSEGV; running the program once more" >&2
    "$wine" "$@"
    status=$?
fi
exit "$status"
