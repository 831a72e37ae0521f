#!/usr/bin/env bash
# Reads back the recordings that record_recorder and record_muxer wrote, with
# Debian's native FFmpeg: streams, durations, key frames, a clean decode, the
# picture against the input (PSNR) and the sound's length.
set -u
out=$1
fail=0
bad() { echo "FAIL: $*"; fail=1; }
near() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'; }
. "$(dirname "$0")/probe_times.sh"
# Pictures of the recording must resemble the input at least this much.
min_psnr=30

for name in record_3s.mkv record_3s.mp4 record_3s record_3s.avi; do
  f=$out/$name
  [ -f "$f" ] || { bad "$name missing"; continue; }
  v=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height -of csv=p=0 "$f")
  [ "$v" = "h264,400,300" ] || bad "$name video stream: $v"
  a=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels,bit_rate -of csv=p=0 "$f")
  # MP4 stores the rate measured over the packets' times (those of the
  # sound's arrival), so it is near 128 kbit/s rather than exactly that.
  case $a in
    mp3,44100,2,128000) ;;
    mp3,44100,2,*) [ "${name##*.}" = mp4 ] && near "${a##*,}" 128000 6400 || bad "$name audio stream: $a";;
    *) bad "$name audio stream: $a";;
  esac
  # Key frames: the first packet and every 30th, nothing else.
  flags=$(ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$f")
  n=0; keys=""
  while read -r fl; do
    case $fl in K*) keys="$keys $n";; esac
    n=$((n + 1))
  done <<<"$flags"
  # The pictures span n / 13 s (13 a second); the sound runs from the start
  # of the recording to its stop, so it may last a little longer, and the
  # file as long as the longer of the two.
  want=$(awk -v n=$n 'BEGIN { printf "%.3f", n / 13 }')
  samples=$(( $(ffmpeg -nostdin -v error -i "$f" -map 0:a -f s16le -ac 2 - | wc -c) / 4 ))
  sound=$(awk -v s=$samples 'BEGIN { printf "%.3f", s / 44100 }')
  longer=$(awk -v a=$want -v b=$sound 'BEGIN { printf "%.3f", (a > b ? a : b) }')
  d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f")
  near "$d" "$longer" 0.1 || bad "$name duration $d for $n pictures and $sound s of sound"
  sd=$(ffprobe -v error -select_streams v:0 -show_entries stream=duration -of csv=p=0 "$f")
  [ "$sd" = "N/A" ] || [ -z "$sd" ] || near "$sd" "$want" 0.1 || bad "$name video duration $sd for $n pictures"
  check_times "$f" "$name"
  near "$sound" 3 0.5 || bad "$name holds $sound s of sound for a 3 s recording"
  expect=""; for ((i = 0; i < n; i += 30)); do expect="$expect $i"; done
  [ "$keys" = "$expect" ] || bad "$name key frames at$keys, expected$expect"
  errors=$(ffmpeg -nostdin -loglevel repeat+error -i "$f" -f null - 2>&1)
  [ -z "$errors" ] || bad "$name decodes with errors: $errors"
  # The recording holds the last $n of the input frames.
  # The counts are written by Windows programs: CR LF line ends.
  total=$(tr -d '\r' < "$f.frames")
  skip=$((total - n))
  # The feeder starts once the recording takes pictures: every one is kept.
  [ "$n" = "$total" ] || bad "$name holds $n of the $total pictures offered"
  psnr=$(ffmpeg -nostdin -i "$f" -f rawvideo -pix_fmt bgr24 -s 400x300 -i "$f.rgb" \
      -lavfi "[0:v]setpts=N/TB[a];[1:v]trim=start_frame=$skip,setpts=N/TB[b];[a][b]psnr" -f null - 2>&1 \
      | sed -n 's/.*PSNR.* average:\([0-9.inf]*\).*/\1/p' | tail -1)
  echo "$name: $n pictures, duration $d s, PSNR $psnr dB"
  [ -n "$psnr" ] && awk -v p="$psnr" -v m=$min_psnr 'BEGIN { exit !(p == "inf" || p >= m) }' \
    || bad "$name PSNR $psnr below $min_psnr"
done

# Sound in bursts and split blocks, pictures with uneven gaps: five rounds
# in each container.
for round in 0 1 2 3 4; do
  for ext in mkv mp4 flv avi; do
    name=muxer_jitter_$round.$ext
    [ -s "$out/$name" ] || { bad "$name missing"; continue; }
    check_times "$out/$name" "$name"
  done
done
echo "muxer_jitter: 5 rounds in mkv, mp4, flv and avi checked"

# Odd sound blocks through the muxer: every pushed sample decodes, plus at
# most the encoder's delay and padding.
f=$out/muxer_odd.mkv
if [ -f "$f" ]; then
  pushed=$(tr -d '\r' < "$f.samples")
  bytes=$(ffmpeg -nostdin -v error -i "$f" -map 0:a -f s16le -ac 2 - | wc -c)
  decoded=$((bytes / 4))
  echo "muxer_odd.mkv: pushed $pushed samples, decoded $decoded"
  [ "$decoded" -ge "$pushed" ] && [ "$decoded" -le $((pushed + 576 + 529 + 2 * 1152)) ] \
    || bad "muxer_odd.mkv decoded $decoded samples for $pushed pushed"
else
  bad "muxer_odd.mkv missing"
fi

# Recordings ended early are finished files. A recording stopped at once may
# have received no picture, and then leaves no file (recordings without a
# picture are removed: FFmpeg's Matroska reader refuses a file without
# clusters, even one FFmpeg's own command line wrote).
for name in record_quit.mp4 record_quick.mp4 record_destroyed.mp4; do
  f=$out/$name
  if [ ! -f "$f" ]; then
    [ "$name" = record_quick.mp4 ] || bad "$name missing"
    continue
  fi
  ffprobe -v error "$f" >/dev/null 2>&1 || bad "$name does not open"
done
for name in muxer_empty.mkv muxer_empty.mp4 muxer_empty.avi; do
  [ ! -e "$out/$name" ] || bad "$name, a recording without pictures, was left behind"
done
f=$out/record_nosonvex.mkv
if [ -f "$f" ]; then
  # Packets counted one by one: ffprobe reports N/A as the count of a
  # stream without any.
  ap=$(ffprobe -v error -select_streams a -show_entries packet=pts -of csv=p=0 "$f" | grep -c .)
  vp=$(ffprobe -v error -select_streams v -show_entries packet=pts -of csv=p=0 "$f" | grep -c .)
  [ "$ap" = 0 ] || bad "record_nosonvex.mkv has $ap sound packets"
  [ "$vp" -ge 15 ] || bad "record_nosonvex.mkv has only $vp pictures"
fi
exit $fail
