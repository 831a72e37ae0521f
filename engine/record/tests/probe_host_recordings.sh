#!/usr/bin/env bash
# Reads back, with Debian's native FFmpeg, what the stand-in host recorded
# through the engine's recorder while the test camera ran: H.264 400x300 and
# MP3 44,100 Hz stereo in each container, about three seconds of pictures
# and sound, and a clean decode.
set -u
out=$1
fail=0
bad() { echo "FAIL: $*"; fail=1; }
near() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'; }
. "$(dirname "$0")/probe_times.sh"

for name in host_3s.mkv host_3s.mp4 host_3s.flv host_3s.avi; do
  f=$out/$name
  [ -s "$f" ] || { bad "$name missing"; continue; }
  v=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height -of csv=p=0 "$f")
  [ "$v" = "h264,400,300" ] || bad "$name video stream: $v"
  a=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,channels -of csv=p=0 "$f")
  [ "$a" = "mp3,44100,2" ] || bad "$name audio stream: $a"
  n=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 "$f")
  # The camera delivers about ten pictures a second once the engine is warm;
  # the first recording of a fresh engine starts while the video processing
  # still measures itself, and gets fewer.
  [ "${n:-0}" -ge 10 ] || bad "$name holds ${n:-0} pictures for 3 s of a running camera"
  samples=$(( $(ffmpeg -nostdin -v error -i "$f" -map 0:a -f s16le -ac 2 - | wc -c) / 4 ))
  sound=$(awk -v s=$samples 'BEGIN { printf "%.3f", s / 44100 }')
  near "$sound" 3 0.5 || bad "$name holds $sound s of sound for a 3 s recording"
  d=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f")
  near "$d" 3 0.5 || bad "$name lasts $d s for a 3 s recording"
  errors=$(ffmpeg -nostdin -loglevel repeat+error -i "$f" -f null - 2>&1)
  [ -z "$errors" ] || bad "$name decodes with errors: $errors"
  check_times "$f" "$name"
  echo "$name: $n pictures, $sound s of sound, duration $d s"
done
exit $fail
