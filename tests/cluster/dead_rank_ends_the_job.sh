#!/bin/sh
# A rank killed mid-run ends the whole job: mpirun returns, with a status that is not zero, and
# the previous results file is left as it was.
# Usage: dead_rank_ends_the_job.sh HYDROSK_MPI TOWN_INP
set -u
cli=$1 town=$2
command -v mpirun >/dev/null 2>&1 || { echo "mpirun is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$town" "$work/town.inp"
cd "$work" || exit 1
printf '"previous","results"\r\n' >town.inp.TXT
mpirun --oversubscribe -np 3 "$cli" fireflow town.inp --mode flow --min-pressure 20 \
    --required-time 24 --max-flow 30000 --flow-interval 1 --threads 1 >out.txt 2>err.txt &
job=$!
# The processes that process $1 started, and theirs, at any depth.
descendants() {
    ps -e -o pid= -o ppid= | awk -v root="$1" '
        { parent[$1] = $2 }
        END {
            for (p in parent) {
                q = p
                while (q in parent && q != root && q > 1) q = parent[q]
                if (q == root && p != root) print p
            }
        }'
}
# Rank 1: the job's own process that the launcher gave that rank in its environment.
victim=""
for _ in $(seq 100); do
    for pid in $(descendants $job); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx 'OMPI_COMM_WORLD_RANK=1' &&
            tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q 'fireflow'; then
            victim=$pid
        fi
    done
    [ -n "$victim" ] && break
    sleep 0.1
done
[ -n "$victim" ] || { echo "rank 1 not found"; kill $job; exit 1; }
sleep 1
kill -9 "$victim"
# mpirun must end by itself; give it 30 s before calling it a hang.
for _ in $(seq 300); do
    kill -0 $job 2>/dev/null || break
    sleep 0.1
done
if kill -0 $job 2>/dev/null; then
    echo "mpirun still runs 30 s after rank 1 died"
    kill -9 $job
    exit 1
fi
wait $job
status=$?
echo "mpirun ended with status $status after rank 1 ($victim) was killed"
[ "$status" -ne 0 ] || exit 1
[ "$(cat town.inp.TXT)" = "$(printf '"previous","results"\r\n')" ] ||
    { echo "the previous results were replaced"; exit 1; }
