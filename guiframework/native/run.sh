#!/usr/bin/env bash
# Host sanitizer build of the GUI framework's portable parts (clang, ASan +
# UBSan, memory pool off).
# Usage: run.sh build|test|fuzz BUILD_DIR
#   build: configure and build the tests and the containers' fuzz target
#   test:  run the portable tests under the sanitizers (the ones that need
#          Windows code pages stay with the Windows build)
#   fuzz:  a short differential fuzz of the containers against the standard
#          ones. Fixed seed, fixed number of runs, a fresh corpus and no
#          address randomisation: every run tries the same inputs.
#          GUIFRAMEWORK_FUZZ_RUNS=n runs longer by hand.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mode=${1:?build, test or fuzz}
out=${2:?build folder}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

case $mode in
build)
  mkdir -p "$out"
  CC=clang CXX=clang++ cmake -S "$here" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug >"$out/configure.log" 2>&1 \
    || { cat "$out/configure.log"; exit 1; }
  cmake --build "$out" >"$out/build.log" 2>&1 || { grep -E 'error' "$out/build.log" | head -40; exit 1; }
  ;;
test)
  "$out/guiframework_tests_native" --gtest_brief=1 \
    --gtest_filter=-KqStringTest.AnsiPagesRoundTripAndDropATruncatedTail:KqClassInfoTest.RegistrationOrderFixesNumbersAndFirstClaimWins
  ;;
fuzz)
  runs=${GUIFRAMEWORK_FUZZ_RUNS:-60000}
  fixed=()
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    fixed=(setarch "$(uname -m)" -R)
  else
    echo "note: address randomisation stays on; the fuzz inputs may differ between runs"
  fi
  rm -rf "$out/corpus"
  mkdir -p "$out/corpus"
  start=$(date +%s%N)
  # -max_total_time only guards against a machine far slower than usual.
  if ! "${fixed[@]}" "$out/fuzz_containers" -seed=1 -runs="$runs" -reload=0 -max_total_time=90 -timeout=10 \
       -max_len=4096 -artifact_prefix="$out/crash-containers-" "$out/corpus" >"$out/fuzz-containers.log" 2>&1; then
    echo "fuzz_containers FAILED:"; tail -40 "$out/fuzz-containers.log"; exit 1
  fi
  echo "fuzz_containers: $(grep -Eo 'Done [0-9]+ runs' "$out/fuzz-containers.log" | tail -1) in $(( ($(date +%s%N) - start) / 1000000 )) ms"
  ;;
*)
  echo "usage: $0 build|test|fuzz BUILD_DIR" >&2
  exit 2
  ;;
esac
