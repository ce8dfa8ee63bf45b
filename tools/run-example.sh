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
