#!/usr/bin/env bash
# The README's main command: set up, build, and show frames crossing the
# shared frame record between two real processes under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
TQ_STEP=run
. "$root/scripts/common.sh"

tq_setup
tq_build
tq_wine_env "$build/demo"
out="$build/demo/out"
mkdir -p "$out"
msg "writer: a 480x360 frame into the shared frame record; reader: copies it out as a BMP"
tq_with_display bash -c '
  "$TQ_WINE" "$0/bin/framepeer.exe" write 480 360 7 "$(date +%s)" 20000 &
  writer=$!
  for i in $(seq 50); do
    if "$TQ_WINE" "$0/bin/framepeer.exe" read "Z:$1/frame.bmp" 7; then
      break
    fi
    sleep 0.2
  done
  kill $writer 2>/dev/null; wait $writer 2>/dev/null || true
' "$build" "$out"
[ -f "$out/frame.bmp" ] || { msg "FAILED: the reader saved no frame"; exit 1; }
msg "frame saved: $out/frame.bmp"
