#!/usr/bin/env bash
# The README's test command: set up, build, run every test under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
TQ_STEP=test
. "$root/scripts/common.sh"

tq_setup
tq_build
tq_wine_env "$build/wine"
msg "running the tests"
cd "$build"
tq_with_display ctest --output-on-failure --timeout 300 -j"$(nproc)" "$@"
