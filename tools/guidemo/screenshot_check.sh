#!/usr/bin/env bash
# The demo on the real display: starts guidemo, waits for the rectangle it
# prints once its store is saved, takes a screenshot of the root window,
# crops the window's rectangle and compares it with the store's opaque
# pixels (within 2 per channel). Xvfb has no compositing manager, so
# translucent pixels are checked on the store only. The store must show no
# colour of the placeholder art.
# usage: screenshot_check.sh WINE GUIDEMO_EXE OUT_DIR [SCREEN_PNG]
set -uo pipefail
wine=$1 demo=$2 out=$3 screen=${4:-$3/screen.png}
mkdir -p "$out"
store="$out/store.png"
rm -f "$store" "$screen" "$out/demo.log"
"$wine" "$demo" -shot "Z:$store" -seconds 30 >"$out/demo.log" 2>&1 &
pid=$!
rect=""
for _ in $(seq 600); do
  rect=$(sed -n 's/^rect: //p' "$out/demo.log" | tr -d '\r')
  [ -n "$rect" ] && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
if [ -z "$rect" ]; then
  echo "FAILED: guidemo printed no rectangle"; cat "$out/demo.log"; kill $pid 2>/dev/null; exit 1
fi
import -window root "$screen" || { echo "FAILED: import"; kill $pid 2>/dev/null; exit 1; }
read -r left top right bottom <<<"$rect"
width=$((right - left)) height=$((bottom - top))
convert "$screen" -crop "${width}x${height}+${left}+${top}" +repage -depth 8 rgba:"$out/screen.rgba" &&
convert "$store" -depth 8 rgba:"$out/store.rgba" || { echo "FAILED: convert"; kill $pid 2>/dev/null; exit 1; }
python3 - "$out/screen.rgba" "$out/store.rgba" "$width" "$height" <<'PY'
import sys
screen = open(sys.argv[1], "rb").read()
store = open(sys.argv[2], "rb").read()
w, h = int(sys.argv[3]), int(sys.argv[4])
if len(screen) != w * h * 4 or len(store) != w * h * 4:
    sys.exit("FAILED: sizes differ (screen %d, store %d, expected %d)" % (len(screen), len(store), w * h * 4))
opaque = bad = 0
for i in range(0, w * h * 4, 4):
    if store[i + 3] != 255:
        continue
    opaque += 1
    if any(abs(store[i + c] - screen[i + c]) > 2 for c in range(3)):
        bad += 1
print("opaque store pixels: %d, differing on screen: %d" % (opaque, bad))
if opaque < 1000:
    sys.exit("FAILED: too few opaque pixels in the store")
if bad:
    sys.exit("FAILED: the screen differs from the store")
PY
rc=$?
# The store must show the finished skins, none of the placeholder colours.
python3 "$(dirname "$0")/../windowshots/find_test_colours.py" "$store" || rc=1
wait $pid
exit $rc
