#!/usr/bin/env bash
# Host sanitizer build of the image library (clang, ASan + UBSan).
# Usage: run.sh build|test|fuzz BUILD_DIR
#   build: configure and build the tests, the seed writer and the fuzz targets
#   test:  run the library's tests under the sanitizers, and the allocation
#          failure tests under a 1 MiB allocation limit
#   fuzz:  a short fuzz run of every reader seeded from the test fixtures.
#          Fixed seed, fixed number of runs, a fresh corpus and no address
#          randomisation: every run tries the same inputs, so a finding is
#          found every time or never. CXIMAGE_FUZZ_RUNS=n runs longer by hand.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mode=${1:?build, test or fuzz}
out=${2:?build folder}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
targets="bmp:1 gif:2 ico:5 tga:7 pcx:8 wbmp:9 wmf:10 ska:18 psd:20 any:0"

case $mode in
build)
  mkdir -p "$out"
  CC=clang CXX=clang++ cmake -S "$here" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug >"$out/configure.log" 2>&1 \
    || { cat "$out/configure.log"; exit 1; }
  cmake --build "$out" >"$out/build.log" 2>&1 || { grep -E 'error' "$out/build.log" | head -40; exit 1; }
  ;;
test)
  "$out/cximage_tests_native" --gtest_brief=1
  ASAN_OPTIONS=$ASAN_OPTIONS:max_allocation_size_mb=1:allocator_may_return_null=1 \
    "$out/cximage_alloc_native" --gtest_brief=1
  ;;
fuzz)
  runs=${CXIMAGE_FUZZ_RUNS:-3000}
  # Addresses feed the coverage and comparison hints; fixed ones keep the run
  # repeatable. Where the personality cannot be changed the run still goes on.
  fixed=()
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    fixed=(setarch "$(uname -m)" -R)
  else
    echo "note: address randomisation stays on; the fuzz inputs may differ between runs"
  fi
  rm -rf "$out/seeds" "$out/corpus"
  "$out/cximage_seeds" "$out/seeds"
  fail=0
  for target in $targets; do
    name=${target%%:*}
    id=${target##*:}
    corpus="$out/corpus/$name"
    mkdir -p "$corpus"
    seeds="$out/seeds/$id"
    [ "$id" = 0 ] && seeds=$(ls -d "$out"/seeds/*/)
    start=$(date +%s%N)
    # -max_total_time only guards against a machine far slower than usual.
    if ! "${fixed[@]}" "$out/fuzz_$name" -seed=1 -runs="$runs" -reload=0 -max_total_time=60 -timeout=10 \
         -rss_limit_mb=2560 -max_len=65536 -artifact_prefix="$out/crash-$name-" \
         "$corpus" $seeds >"$out/fuzz-$name.log" 2>&1; then
      echo "fuzz_$name FAILED:"; tail -40 "$out/fuzz-$name.log"; fail=1
    else
      echo "fuzz_$name: $(grep -Eo 'Done [0-9]+ runs' "$out/fuzz-$name.log" | tail -1) in $(( ($(date +%s%N) - start) / 1000000 )) ms"
    fi
  done
  exit $fail
  ;;
*)
  echo "usage: $0 build|test|fuzz BUILD_DIR" >&2
  exit 2
  ;;
esac
