#!/usr/bin/env bash
# Runs the main job on the shipped example in a temporary work database.
set -euo pipefail
build=${1:?build directory}
top=$(cd "$(dirname "$0")/.." && pwd)
cli="$build/cli/lindavex-cli"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
workdb="$work/WTEMP"
mkdir -p "$workdb"

# First action: the example centre file into the Morvalen work tables.
echo "== lindavex-cli exportar examples/centro.xml --workdb $workdb"
"$cli" exportar "$top/examples/centro.xml" --workdb "$workdb"
echo "== Work database after the first action:"
ls -l "$workdb"

# The Morvalen product solves the timetable into SOLUC; the demo solver stands in for it here.
echo
echo "== lindavex-demo-solver $workdb   (a stand-in for the Morvalen product)"
"$build/tools/lindavex-demo-solver" "$workdb"

# Second action: the solved timetable back into a centre file. The result is written beside
# the chosen file, so the run works on a copy kept in the build folder, where it stays.
out="$build/example"
mkdir -p "$out"
cp "$top/examples/centro.xml" "$out/centro.xml"
echo
echo "== lindavex-cli importar $out/centro.xml --workdb $workdb"
"$cli" importar "$out/centro.xml" --workdb "$workdb"

result="$out/ResultadoVelmarcentro.xml"
echo
echo "== The result file: $result"
echo "== Its root and first activities:"
xmllint --format --encode UTF-8 "$result" >"$work/result.txt"
grep -m 1 '<Centro ' "$work/result.txt"
grep -m 10 '<actividad ' "$work/result.txt" || true
echo "   ... $(grep -c '<actividad ' "$work/result.txt") activities in all"
