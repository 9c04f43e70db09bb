#!/bin/sh
# Ctrl+C on a network of a million junctions, in the steps a run takes once before its first
# trial (reading the INP file, ordering the matrix, the solve without fire): the run must end
# within a second of the signal with its message, the previous results file left as it was and
# nothing left behind.
# Usage: interrupted_large_run.sh HYDROSK_CLI SECONDS_BEFORE_THE_SIGNAL
set -u
cli=$1 delay=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
# A square grid of 1000 x 1000 junctions fed by a reservoir at one corner.
awk 'BEGIN {
    n = 1000
    print "[JUNCTIONS]"
    for (i = 0; i < n * n; i++) print " J" i " 10 1"
    print "[RESERVOIRS]\n R 200\n[PIPES]\n P R J0 10 24 120"
    for (r = 0; r < n; r++) for (c = 0; c < n; c++) {
        j = r * n + c
        if (c + 1 < n) print " H" j " J" j " J" j + 1 " 100 8 120"
        if (r + 1 < n) print " V" j " J" j " J" j + n " 100 8 120"
    }
}' >grid.inp || exit 1
printf '"previous","results"\r\n' >grid.inp.TXT
"$cli" fireflow grid.inp --mode design --min-pressure 20 --required-flow 500 --threads 2 \
    >out.txt 2>err.txt &
pid=$!
sleep "$delay"
kill -0 $pid 2>/dev/null || { echo "the run ended before the signal"; cat err.txt; exit 1; }
kill -s INT $pid
sent=$(date +%s%N)
wait $pid
status=$?
took_ms=$(( ($(date +%s%N) - sent) / 1000000 ))
cat err.txt
[ "$status" -eq 130 ] || { echo "exit status $status, expected 130"; exit 1; }
[ "$took_ms" -le 1000 ] || { echo "ended $took_ms ms after the signal"; exit 1; }
grep -q "The run was interrupted" err.txt || { echo "no message"; exit 1; }
[ "$(cat grid.inp.TXT)" = "$(printf '"previous","results"\r\n')" ] ||
    { echo "the previous results were replaced"; exit 1; }
[ -z "$(ls -A | grep -v -e '^grid.inp$' -e '^grid.inp.TXT$' -e '^grid.inp.TXT.partial$' -e '^out.txt$' -e '^err.txt$' -e '^rep.dat$')" ] ||
    { echo "left behind:"; ls -A; exit 1; }
echo "ended $took_ms ms after SIGINT at $delay s with status $status"
