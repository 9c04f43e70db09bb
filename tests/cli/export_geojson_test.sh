#!/bin/sh
# hydrosk-cli export-geojson after a duration run on the example town: one
# Point feature per junction at its INP coordinates; a missing results file is
# exit status 1 with the file named.
# Usage: export_geojson_test.sh HYDROSK_CLI EXAMPLES_DIR
set -u
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$2/town.inp" "$work/" && cd "$work" || exit 1

"$cli" fireflow town.inp --mode duration --required-flow 1500 --min-pressure 20 >/dev/null || exit 1
"$cli" export-geojson town.inp.TXT town.geojson || exit 1
features=$(grep -c '^{"type":"Feature"' town.geojson)
[ "$features" -eq 24 ] || { echo "features: $features"; exit 1; }
grep -q '^{"type":"Feature","geometry":{"type":"Point","coordinates":\[-1200,2000\]},"properties":{"Check_Node":"J1","Flow":1500,"Duration (hours)":11.3755555555556,"Outcome":"Failed"}},$' town.geojson \
    || { head -3 town.geojson; exit 1; }

"$cli" export-geojson missing.TXT out.geojson 2>err.txt
status=$?
[ "$status" -eq 1 ] && grep -q '"missing.TXT": does not exist' err.txt || { cat err.txt; exit 1; }
[ ! -e out.geojson ] || exit 1

# The inputs of the export are never its output, in any spelling; they stay as they were.
cp town.inp town.inp.saved && cp town.inp.TXT town.inp.TXT.saved
for target in town.inp ./town.inp town.inp.TXT "$work/town.inp.TXT"; do
    "$cli" export-geojson town.inp.TXT "$target" 2>err.txt
    status=$?
    [ "$status" -eq 1 ] && grep -q 'is an input of the export and is not overwritten' err.txt ||
        { echo "$target: status $status"; cat err.txt; exit 1; }
done
cmp -s town.inp town.inp.saved && cmp -s town.inp.TXT town.inp.TXT.saved ||
    { echo "an input was overwritten"; exit 1; }

# A FIFO (or a folder) is refused at once instead of blocking the export.
mkfifo pipe
timeout 10 "$cli" export-geojson town.inp.TXT pipe 2>err.txt
status=$?
[ "$status" -eq 1 ] && grep -q '"pipe": is not a regular file' err.txt ||
    { echo "FIFO: status $status"; cat err.txt; exit 1; }

# "-" is standard output; the file "-" is not made.
"$cli" export-geojson town.inp.TXT - >stdout.geojson || exit 1
cmp -s stdout.geojson town.geojson || { echo "standard output differs from the file"; exit 1; }
[ ! -e ./- ] || exit 1

# Rows that are not the network's: one warning with the counts, the rest exported.
cp town.inp.TXT odd.inp.TXT
tail -n 1 town.inp.TXT >>odd.inp.TXT
printf '"ZZZ",1500,1\r\n"YYY",1500,1\r\n' >>odd.inp.TXT
"$cli" export-geojson odd.inp.TXT odd.geojson --inp town.inp 2>err.txt || { cat err.txt; exit 1; }
[ "$(grep -c . err.txt)" -eq 1 ] &&
    grep -q "2 rows name no junction of it; 1 row repeats the junction of an earlier row" err.txt ||
    { cat err.txt; exit 1; }
[ "$(grep -c '^{"type":"Feature"' odd.geojson)" -eq 27 ] || exit 1

# A run of fire groups: the export given the same groups writes each group's row as the
# MultiPoint of its members, with their IDs; the groups come from a file or from the map.
printf '"School","J2","J3"\r\n"J1 alone","J1"\r\n' >groups.txt
"$cli" fireflow town.inp --mode design --required-flow 1500 --min-pressure 20 \
    --fire-groups groups.txt --extension CSV >/dev/null || exit 1
"$cli" export-geojson town.inp.CSV groups.geojson --inp town.inp --fire-groups groups.txt \
    2>err.txt || { cat err.txt; exit 1; }
[ ! -s err.txt ] || { cat err.txt; exit 1; }
[ "$(grep -c '^{"type":"Feature"' groups.geojson)" -eq 2 ] || { cat groups.geojson; exit 1; }
grep -q '^{"type":"Feature","geometry":{"type":"MultiPoint","coordinates":\[\[0,2000\],\[1000,3000\]\]},"properties":{"Check_Node":"School",.*"Members":\["J2","J3"\]}},$' groups.geojson \
    || { cat groups.geojson; exit 1; }
grep -q '"coordinates":\[\[-1200,2000\]\]},"properties":{"Check_Node":"J1 alone",.*"Members":\["J1"\]}}$' groups.geojson \
    || { cat groups.geojson; exit 1; }
# Without the groups, a group's name is no junction of the network.
"$cli" export-geojson town.inp.CSV plain.geojson --inp town.inp 2>err.txt || exit 1
grep -q "Warning" err.txt && ! grep -q '"MultiPoint"' plain.geojson || { cat err.txt; exit 1; }
"$cli" fireflow town.inp --mode available --min-pressure 20 --max-flow 3000 \
    --fire-groups-near 1500 --group-size 2 --extension CSV >/dev/null || exit 1
"$cli" export-geojson town.inp.CSV near.geojson --fire-groups-near 1500 --group-size 2 \
    --inp town.inp || exit 1
grep -q '^{"type":"Feature","geometry":{"type":"MultiPoint","coordinates":\[\[-1200,2000\],\[0,2000\]\]},"properties":{"Check_Node":"J1",.*"Members":\["J1","J2"\]}},$' near.geojson \
    || { head -3 near.geojson; exit 1; }
# The options as fireflow refuses them; a groups file the network refuses, with its line.
"$cli" export-geojson town.inp.CSV out.geojson --group-size 2 2>err.txt
[ $? -eq 1 ] && grep -q -- '--group-size is an option of --fire-groups-near' err.txt ||
    { cat err.txt; exit 1; }
printf '"School","J2","NOPE"\r\n' >bad.txt
"$cli" export-geojson town.inp.CSV out.geojson --fire-groups bad.txt 2>err.txt
[ $? -eq 1 ] && grep -q 'line 1' err.txt && [ ! -e out.geojson ] || { cat err.txt; exit 1; }
