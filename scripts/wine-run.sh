#!/usr/bin/env bash
# ctest's emulator: runs one test program under Wine with its output in a
# file. Wine starts its own services (explorer, services.exe, ...) from the
# first program that needs them, and they inherit that program's output; if
# that were ctest's pipe, ctest would wait for them until its time-out.
# Usage: wine-run.sh WINE PROGRAM [ARGS...]
wine=$1; shift
out=$(mktemp "${TMPDIR:-/tmp}/tq-test.XXXXXX")
"$wine" "$@" >"$out" 2>&1
rc=$?
# Wine's ALSA noise where no sound card exists is not the test's output.
grep -v -E '^ALSA lib |^(Cannot|cannot) (connect|open) |err:winediag:|^[0-9a-f]{4}:err:(alsa|ole|winediag)' "$out"
# A test program that ends early with status 0 (an exit(0) or ExitProcess
# deep in a test) would otherwise pass: a googletest run that started counts
# only with its summary.
if [ $rc -eq 0 ] && grep -q '^\[==========\] Running' "$out" && ! grep -q '^\[  PASSED  \]' "$out"; then
  echo "wine-run.sh: the test program ended with status 0 before googletest's summary" >&2
  rc=1
fi
rm -f "$out"
exit $rc
