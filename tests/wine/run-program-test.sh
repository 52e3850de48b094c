#!/bin/sh
# run-program.sh with a stand-in for Wine whose runs end as a table says:
# "segv" is the loader killed by SIGSEGV, a number a status of the program's.
set -u
runner=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/wine" <<'STANDIN'
#!/bin/sh
echo "$*" >>"$WORK/runs"
ending=$(head -n 1 "$WORK/endings")
sed -i 1d "$WORK/endings"
[ "$ending" = segv ] && kill -SEGV $$
exit "$ending"
STANDIN
chmod +x "$work/wine"
export WORK="$work"
failures=0
# endings | status expected | runs expected
while IFS='|' read -r endings expected runs; do
    echo "$endings" | tr ' ' '\n' >"$work/endings"
    : >"$work/runs"
    "$runner" "$work/wine" program.exe "an argument" 2>/dev/null
    status=$?
    seen=$(grep -c -x "program.exe an argument" "$work/runs")
    if [ "$status" -ne "$expected" ] || [ "$seen" -ne "$runs" ]; then
        echo "FAIL: endings '$endings': status $status in $seen runs, expected $expected in $runs"
        failures=$((failures + 1))
    fi
done <<'TABLE'
0|0|1
1|1|1
5|5|1
segv 0|0|2
segv 3|3|2
segv segv 0|139|2
TABLE
[ "$failures" -eq 0 ] && echo "run-program.sh: all cases pass"
exit "$failures"
