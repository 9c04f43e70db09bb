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
