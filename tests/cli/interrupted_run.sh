#!/bin/sh
# A long fire-flow run ended by a signal: it must end within a second with the given exit
# status and its message, leave the previous results file as it was, keep the whole rows
# finished in town.inp.TXT.partial (named in the message), and leave no temporary file behind.
# Usage: interrupted_run.sh HYDROSK_CLI TOWN_INP SIGNAL EXPECTED_STATUS
set -u
cli=$1 town=$2 signal=$3 expected=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$town" "$work/town.inp"
cd "$work" || exit 1
printf '"previous","results"\r\n' >town.inp.TXT
# Trials of a whole day in steps of 1 gpm up to 30000 gpm: far longer than the test waits.
"$cli" fireflow town.inp --mode flow --min-pressure 20 --required-time 24 --max-flow 30000 \
    --flow-interval 1 >out.txt 2>err.txt &
pid=$!
sleep 1
kill -s "$signal" $pid
sent=$(date +%s%N)
wait $pid
status=$?
took_ms=$(( ($(date +%s%N) - sent) / 1000000 ))
cat err.txt
[ "$status" -eq "$expected" ] || { echo "exit status $status, expected $expected"; exit 1; }
[ "$took_ms" -le 1000 ] || { echo "ended $took_ms ms after the signal"; exit 1; }
grep -q "The run was interrupted" err.txt || { echo "no message"; exit 1; }
grep -q "are in town.inp.TXT.partial; the results file town.inp.TXT was left as it was" err.txt ||
    { echo "the partial file is not named"; exit 1; }
[ "$(cat town.inp.TXT)" = "$(printf '"previous","results"\r\n')" ] ||
    { echo "the previous results were replaced"; exit 1; }
head -n 1 town.inp.TXT.partial | grep -q '"Check_Node","Duration (hours)","Flow"' || exit 1
# Every line whole: CR LF at the end of the file.
[ "$(tail -c 2 town.inp.TXT.partial | od -An -c | tr -d ' ')" = '\r\n' ] || exit 1
# The partial rows are a results file of the same network.
"$cli" export-geojson town.inp.TXT.partial partial.geojson || exit 1
rm partial.geojson
[ -z "$(ls -A | grep -v -e '^town.inp$' -e '^town.inp.TXT$' -e '^town.inp.TXT.partial$' -e '^out.txt$' -e '^err.txt$' -e '^rep.dat$')" ] ||
    { echo "left behind:"; ls -A; exit 1; }
echo "ended $took_ms ms after $signal with status $status"
