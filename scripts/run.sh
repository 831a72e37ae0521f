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
bin="$TEST_BUILD/bin"
mkdir -p "$out"
msg "starting the stand-in host with the engine; reading the frame it writes into the shared record"
tq_with_display bash -c '
  "$TQ_WINE" "$0/runhost.exe" -seconds 10 &
  host=$!
  for i in $(seq 60); do
    if "$TQ_WINE" "$0/framepeer.exe" read "Z:$1/frame.bmp" 2>/dev/null; then
      break
    fi
    sleep 0.5
  done
  # Three seconds of the composed picture, with the stand-in audio engine'"'"'s sound.
  "$TQ_WINE" "$0/recorddemo.exe" "Z:$1/demo.mkv" 3 || echo "recording failed" >&2
  wait $host || true
' "$bin" "$out"
[ -f "$out/frame.bmp" ] || { msg "FAILED: no frame reached the shared frame record"; exit 1; }
msg "the engine's frame, as a consumer reads it: $out/frame.bmp"
[ -s "$out/demo.mkv" ] && msg "three seconds recorded with sound: $out/demo.mkv"
