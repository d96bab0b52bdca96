#!/usr/bin/env bash
# The shipped program as a user or a script starts it: single instance and exit codes.
set -u
app="$1"
fail=0
check() { if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected $3, got $2"; fail=1; fi; }

"$app" >/dev/null 2>&1 &
first=$!
sleep 1.5
timeout 10 "$app" >/dev/null 2>&1
check "a second instance exits at once with 0" "$?" 0
kill -0 "$first" 2>/dev/null
check "the first instance keeps running" "$?" 0
kill "$first" 2>/dev/null; wait "$first" 2>/dev/null

exit $fail
