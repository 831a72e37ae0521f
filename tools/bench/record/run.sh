#!/usr/bin/env bash
# Times the recorder (recordbench.exe: 300 pictures of 400x300 with their
# sound through CRecordMuxer into Matroska) against Debian's ffmpeg encoding
# the same pictures and sound with the same x264 and LAME settings into the
# same container, both on one core, alternately, five rounds each. Compares
# CPU time (user + system, all threads): on a core other programs share, wall
# time counts their turns too. Prints the medians and the ratio (ffmpeg's
# time / ours; 1.0 is as fast, the goal is at least 1.0), and wall times.
# Usage: tools/bench/record/run.sh [BUILD_DIR]   (default build/x86_64;
# a build folder named i686 runs under 32-bit Wine in a 32-bit prefix).
# TQ_RECORDBENCH names another recordbench.exe to time, e.g. an older build.
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "${1:-$root/build/x86_64}" && pwd)
bin=$build/bin
rounds=${TQ_BENCH_ROUNDS:-5}
cpu=${TQ_BENCH_CPU:-0}
case $(basename "$build") in
  i686) wine=/usr/lib/wine/wine wineserver=/usr/lib/wine/wineserver32 arch=win32 ;;
  *) wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64 arch=win64 ;;
esac
[ -f "$bin/recordbench.exe" ] || { echo "no recordbench.exe in $bin" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "no ffmpeg" >&2; exit 1; }
work=$build/bench-record
rm -rf "$work"
mkdir -p "$work"
# A prefix of the bench's own, so its wineserver is ours to start and stop.
export WINEPREFIX=$build/bench-record-prefix WINEARCH=$arch WINEDEBUG=-all
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1
"$wineserver" -p >/dev/null 2>&1 || true
"$wine" cmd /c exit >/dev/null 2>&1 || true

# The recorder's x264 settings (CX264Encoder::Open) and LAME settings
# (CLameEncoder::Open) in ffmpeg's terms; the pictures come bottom row first.
x264_params="keyint=30:min-keyint=30:scenecut=40:bframes=0:b-pyramid=none:ref=3:deblock=0,0:cabac=1"
x264_params+=":threads=0:lookahead-threads=0:sliced-threads=0:sync-lookahead=0:me=hex:merange=16:subme=7"
x264_params+=":psnr=1:ssim=1:crf=23:vbv-maxrate=500:vbv-bufsize=500:vbv-init=0.9:mbtree=1:rc-lookahead=0"
ffmpeg_once() {  # prints ffmpeg's CPU and wall time of the encoding, in seconds
  taskset -c "$cpu" ffmpeg -hide_banner -nostdin -y -benchmark \
    -f rawvideo -pix_fmt bgr24 -s 400x300 -r 13 -i "$work/pictures.bgr" \
    -f s16le -ar 44100 -ac 2 -i "$work/sound.pcm" \
    -vf vflip -pix_fmt yuv420p -c:v libx264 -preset slow -tune film -x264-params "$x264_params" \
    -c:a libmp3lame -b:a 128k -compression_level 5 -joint_stereo 1 -reservoir 1 \
    -f matroska "$work/ffmpeg.mkv" 2>&1 |
    sed -n 's/.*utime=\([0-9.]*\)s stime=\([0-9.]*\)s rtime=\([0-9.]*\)s.*/\1 \2 \3/p' | tail -1 |
    awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }'
}
ours_once() {  # prints the recorder's CPU and wall time, in seconds
  local out
  out=$(taskset -c "$cpu" "$wine" "${TQ_RECORDBENCH:-$bin/recordbench.exe}" "$@" | tr -d '\r')
  echo "$out" >"$work/ours.txt"
  printf '%s %s\n' "$(echo "$out" | sed -n 's/.*CPU \([0-9.]*\) s in all threads.*/\1/p' | head -1)" \
    "$(echo "$out" | sed -n 's/.* \([0-9.]*\) s, .*/\1/p' | head -1)"
}
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

# The build's recordbench writes the pictures and the sound for ffmpeg.
taskset -c "$cpu" "$wine" "$bin/recordbench.exe" --dump "$("$wine" winepath -w "$work" 2>/dev/null | tr -d '\r')" >/dev/null
[ -s "$work/pictures.bgr" ] && [ -s "$work/sound.pcm" ] || { echo "recordbench wrote no pictures" >&2; exit 1; }
oursCpu=() oursWall=() theirsCpu=() theirsWall=()
for _ in $(seq "$rounds"); do
  read -r c w < <(ours_once)
  oursCpu+=("$c") oursWall+=("$w")
  read -r c w < <(ffmpeg_once)
  theirsCpu+=("$c") theirsWall+=("$w")
done
"$wineserver" -k >/dev/null 2>&1 || true

o=$(median "${oursCpu[@]}")
t=$(median "${theirsCpu[@]}")
grep "producer" "$work/ours.txt" || true
echo "CPU seconds: ours ${oursCpu[*]}; ffmpeg ${theirsCpu[*]}"
echo "wall seconds: ours ${oursWall[*]}; ffmpeg ${theirsWall[*]}"
printf 'recording 300 pictures 400x300 with sound, one core (cpu %s): ours %.3f s CPU (%.2fx real time), ffmpeg %.3f s CPU, ratio ffmpeg/ours %.2f (goal >= 1.0)\n' \
  "$cpu" "$o" "$(echo "300 / 13 / $o" | bc -l)" "$t" "$(echo "$t / $o" | bc -l)"
