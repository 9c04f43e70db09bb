#!/bin/sh
# Ranks started on other inputs than rank 0 refuse the job before its first junction: another
# INP file, another constraint file, an INP file a rank cannot read, another fire-groups file.
# mpirun ends with a status that is not zero, rank 0 names the rank and its path, and the
# previous results stay.
# Usage: ranks_disagree.sh HYDROSK_MPI TOWN_INP
set -u
cli=$1 town=$(realpath "$2")
command -v mpirun >/dev/null 2>&1 || { echo "mpirun is not installed"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/a" "$work/b"
cp "$town" "$work/a/town.inp"
cp "$town" "$work/b/town.inp"
printf '"previous","results"\r\n' >"$work/a/town.inp.TXT"
cd "$work" || exit 1
args="fireflow town.inp --mode duration --min-pressure 20 --required-flow 1500 --threads 1"

# The two ranks run the same command line, each in its own folder.
job() {
    # shellcheck disable=SC2086
    mpirun --oversubscribe -np 1 --wdir "$work/a" "$cli" $args : \
        -np 1 --wdir "$work/b" "$cli" $args >out.txt 2>err.txt
}
expect_refused() {
    what=$1 pattern=$2
    job
    status=$?
    [ "$status" -ne 0 ] || { echo "$what: the job ran"; cat err.txt; exit 1; }
    grep -q "The ranks of the job were not given the same inputs as rank 0" err.txt &&
        grep -q "$pattern" err.txt || { echo "$what: message"; cat err.txt; exit 1; }
    [ "$(cat a/town.inp.TXT)" = "$(printf '"previous","results"\r\n')" ] ||
        { echo "$what: the previous results were replaced"; exit 1; }
    [ ! -e b/town.inp.TXT ] && [ ! -e a/town.inp.TXT.partial ] ||
        { echo "$what: files written"; ls a b; exit 1; }
    echo "$what: refused"
}

# The same inputs: the job runs.
job || { echo "the same inputs were refused"; cat err.txt; exit 1; }
printf '"previous","results"\r\n' >a/town.inp.TXT

sed 's/^ *Duration .*/ Duration 12:00/' "$town" >b/town.inp
cmp -s a/town.inp b/town.inp && { echo "the INP files do not differ"; exit 1; }
expect_refused "another INP file" "rank 1 on .*: its INP file \"$work/b/town.inp\" differs"

cp "$town" b/town.inp
printf '"J1"\r\n' >b/NoCheck.txt
expect_refused "another NoCheck.txt" "rank 1 on .*: its \"$work/b/NoCheck.txt\" differs (.*; rank 0: absent)"

rm b/NoCheck.txt b/town.inp
expect_refused "no INP file" "rank 1 on .*: its INP file \"$work/b/town.inp\" differs (absent; rank 0: "

# Another fire-groups file under the same name: each rank would run other groups.
cp "$town" b/town.inp
args="fireflow town.inp --mode design --min-pressure 20 --threads 1 --fire-groups groups.txt"
printf '"School","J20","J21"\r\n' >a/groups.txt
printf '"School","J20","J22"\r\n' >b/groups.txt
expect_refused "another fire-groups file" "rank 1 on .*: its \"$work/b/groups.txt\" differs"
