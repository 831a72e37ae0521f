#!/usr/bin/env bash
# Host sanitizer run of the image library: builds with clang (ASan + UBSan),
# runs the tests, then a short bounded fuzz run of every reader seeded from
# the test fixtures. Usage: run.sh BUILD_DIR [SECONDS_PER_TARGET]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?build folder}
seconds=${2:-${CXIMAGE_FUZZ_SECONDS:-4}}
mkdir -p "$out"
CC=clang CXX=clang++ cmake -S "$here" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug >"$out/configure.log" 2>&1 \
  || { cat "$out/configure.log"; exit 1; }
cmake --build "$out" >"$out/build.log" 2>&1 || { grep -E 'error' "$out/build.log" | head -40; exit 1; }

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$out/cximage_tests_native" --gtest_brief=1

rm -rf "$out/seeds"
"$out/cximage_seeds" "$out/seeds"
fail=0
for target in bmp:1 gif:2 ico:5 tga:7 pcx:8 wbmp:9 wmf:10 ska:18 psd:20 any:0; do
  name=${target%%:*}
  id=${target##*:}
  corpus="$out/corpus/$name"
  mkdir -p "$corpus"
  seeds="$out/seeds/$id"
  [ "$id" = 0 ] && seeds=$(ls -d "$out"/seeds/*/)
  if ! "$out/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -max_len=65536 \
       -artifact_prefix="$out/crash-$name-" "$corpus" $seeds >"$out/fuzz-$name.log" 2>&1; then
    echo "fuzz_$name FAILED:"; tail -40 "$out/fuzz-$name.log"; fail=1
  else
    echo "fuzz_$name: $(grep -Eo 'Done [0-9]+ runs' "$out/fuzz-$name.log" | tail -1) in ${seconds}s"
  fi
done
exit $fail
