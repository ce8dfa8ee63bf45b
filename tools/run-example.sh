#!/usr/bin/env bash
# Runs the main job on the shipped example in a temporary work database.
set -euo pipefail
build=${1:?build directory}
top=$(cd "$(dirname "$0")/.." && pwd)
"$build/cli/lindavex-cli" --help
