#!/bin/sh
# Memory that runs out during a run: worker threads whose stacks no longer fit under the
# process's address-space limit end the run with "out of memory", how many threads were asked
# for, and the previous results left as they were.
# Usage: out_of_memory.sh HYDROSK_CLI KY10_INP
set -u
cli=$1 ky10=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$ky10" "$work/ky10.inp"
cd "$work" || exit 1
printf '"previous","results"\r\n' >ky10.inp.TXT
# ky10 has some 900 junctions; --threads above that is lowered to their number, whose stacks
# (8 MiB each) need far more than the 600 MiB allowed here.
(ulimit -v 614400 && exec "$cli" fireflow ky10.inp --mode design --min-pressure 20 \
    --required-flow 500 --threads 100000) >out.txt 2>err.txt
status=$?
cat err.txt
[ "$status" -eq 1 ] || { echo "exit status $status"; exit 1; }
grep -q "^out of memory: worker thread [0-9]* of [0-9]* could not be started" err.txt ||
    { echo "no message"; exit 1; }
grep -q " of 100000 " err.txt && { echo "the thread count was not lowered"; exit 1; }
[ "$(cat ky10.inp.TXT)" = "$(printf '"previous","results"\r\n')" ] ||
    { echo "the previous results were replaced"; exit 1; }
exit 0
