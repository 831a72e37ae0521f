#!/usr/bin/env bash
# The README's test command: set up, build, run every test under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
TQ_STEP=test
. "$root/scripts/common.sh"

tq_setup
tq_build
tq_wine_env "$TEST_BUILD/wine"
msg "running the tests of the $TQ_TEST_ARCH build"
cd "$TEST_BUILD"
tq_with_display ctest --output-on-failure --timeout 300 -j"${TQ_JOBS:-$(nproc)}" "$@"
