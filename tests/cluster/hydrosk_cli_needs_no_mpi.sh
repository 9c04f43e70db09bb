#!/bin/sh
# hydrosk-cli loads no MPI library, and started by mpirun it sends the user to hydrosk-mpi
# instead of running the whole network in every process of the job.
# Usage: hydrosk_cli_needs_no_mpi.sh HYDROSK_CLI TOWN_INP
set -u
cli=$1 town=$2
command -v mpirun >/dev/null 2>&1 || { echo "mpirun is not installed: skipped"; exit 77; }
if readelf -d "$cli" | grep -i 'NEEDED.*mpi'; then
    echo "hydrosk-cli links an MPI library"
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$town" "$work/town.inp"
cd "$work" || exit 1
mpirun --oversubscribe -np 2 "$cli" fireflow town.inp --threads 1 >out.txt 2>err.txt
status=$?
cat err.txt
[ "$status" -ne 0 ] || { echo "mpirun ended with status 0"; exit 1; }
[ ! -e town.inp.TXT ] || { echo "a results file was written"; exit 1; }
grep -qxF "hydrosk-cli runs as one process; under mpirun or srun, run hydrosk-mpi to share a run among the processes of the job" err.txt
