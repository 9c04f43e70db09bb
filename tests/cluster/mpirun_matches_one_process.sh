#!/bin/sh
# mpirun -np 3 of hydrosk-mpi against one process of hydrosk-cli: the same results file byte
# for byte, the same exit status and the same messages (mpirun adds lines of its own about a
# status that is not zero). Skips (77) where mpirun is missing.
# Usage: mpirun_matches_one_process.sh HYDROSK_CLI HYDROSK_MPI INP STEADY_COPY FIREFLOW_ARGS...
set -u
cli=$1 mpi=$2 inp=$3 steady=$4
shift 4
command -v mpirun >/dev/null 2>&1 || { echo "mpirun is not installed: skipped"; exit 77; }
[ -f "$inp" ] || { echo "$inp is absent: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for side in one job; do
    mkdir "$work/$side"
    if [ "$steady" = steady ]; then
        sed 's/^ *Duration .*/ Duration 0/' "$inp" >"$work/$side/net.inp"
    else
        cp "$inp" "$work/$side/net.inp"
    fi
done
(cd "$work/one" && "$cli" fireflow net.inp "$@" --threads 1 >out.txt 2>err.txt; echo $? >status)
(cd "$work/job" && mpirun --oversubscribe -np 3 "$mpi" fireflow net.inp "$@" --threads 1 \
    >out.txt 2>err.txt; echo $? >status)
status=0
cmp "$work/one/net.inp.TXT" "$work/job/net.inp.TXT" || status=1
cmp "$work/one/status" "$work/job/status" || status=1
if [ -s "$work/one/err.txt" ]; then
    grep -qxF -f "$work/one/err.txt" "$work/job/err.txt" || status=1
fi
echo "one process: exit $(cat "$work/one/status"), $(wc -l <"$work/one/net.inp.TXT") lines"
echo "mpirun -np 3: exit $(cat "$work/job/status"), $(wc -l <"$work/job/net.inp.TXT") lines"
cat "$work/job/err.txt"
exit $status
