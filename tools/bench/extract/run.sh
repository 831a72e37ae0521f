#!/usr/bin/env bash
# Times the installer's extraction against Debian's "7zz x" on the installer's
# payload and on a larger archive (the build's programs and libraries several
# times over plus generated media-like data), each best of three with the
# output folder emptied before every run. Prints both times and the ratio
# (ours / 7zz's speed; 1.0 is as fast, the goal is at least 1.0).
# Usage: tools/bench/extract/run.sh [BUILD_DIR]   (default build/x86_64;
# a build folder named i686 runs under 32-bit Wine in a 32-bit prefix)
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "${1:-$root/build/x86_64}" && pwd)  # absolute: the prefix path goes to Wine
bin=$build/bin
case $(basename "$build") in
  i686) wine=/usr/lib/wine/wine wineserver=/usr/lib/wine/wineserver32 arch=win32 ;;
  *) wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64 arch=win64 ;;
esac
work=$build/bench-extract
rm -rf "$work"
mkdir -p "$work"
# A prefix of the bench's own, so its wineserver is ours to start and stop.
export WINEPREFIX=$build/bench-extract-prefix WINEARCH=$arch WINEDEBUG=-all
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1

payload=$build/installer/payload.7z
[ -f "$payload" ] || { echo "no payload: build TqSorvaSetup first" >&2; exit 1; }
[ -f "$bin/extractbench.exe" ] || { echo "no extractbench.exe in $bin" >&2; exit 1; }

# The larger archive: about 150 MB of programs and generated data, LZMA2 with
# the x86 filter, as the payload is packed.
large_src=$work/large-src
mkdir -p "$large_src"
for i in 1 2 3; do
  mkdir -p "$large_src/copy$i"
  cp "$bin"/*.dll "$bin"/*.ax "$large_src/copy$i/" 2>/dev/null || true
done
python3 - "$large_src/data.bin" <<'PY'
import random, sys
random.seed(7)
with open(sys.argv[1], "wb") as f:
    words = [bytes(random.randrange(256) for _ in range(random.randrange(4, 40))) for _ in range(4000)]
    for _ in range(40 * 1024):
        f.write(b"".join(random.choice(words) for _ in range(60))[:1024])
PY
large=$work/large.7z
(cd "$large_src" && 7zz a -bd -bso0 -t7z -m0=lzma2 -mx=7 -mf=BCJ "$large" .)

# Keep a wineserver running so each of our runs pays Wine's process start only.
"$wineserver" -p >/dev/null 2>&1 || true
"$wine" cmd /c exit >/dev/null 2>&1 || true

now() { date +%s.%N; }
best_of_three() {  # command...; prints the best wall time in seconds
  local best="" t0 t1 took
  for _ in 1 2 3; do
    rm -rf "$work/out" && mkdir -p "$work/out"
    t0=$(now)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    t1=$(now)
    took=$(echo "$t1 - $t0" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$took < $best" | bc -l)" = 1 ]; then best=$took; fi
  done
  printf '%.3f' "$best"
}

printf '%-10s %10s %10s %10s %8s\n' archive "size MB" "ours s" "7zz s" ratio
for name in payload large; do
  archive=$payload
  [ $name = large ] && archive=$large
  size=$(echo "$(stat -c %s "$archive") / 1048576" | bc -l)
  ours=$(best_of_three "$wine" "$bin/extractbench.exe" "$archive" "$work/out")
  theirs=$(best_of_three 7zz x -y -bd "-o$work/out" "$archive")
  ratio=$(echo "$theirs / $ours" | bc -l)
  printf '%-10s %10.1f %10s %10s %8.2f\n' "$name" "$size" "$ours" "$theirs" "$ratio"
done
"$wineserver" -k >/dev/null 2>&1 || true
