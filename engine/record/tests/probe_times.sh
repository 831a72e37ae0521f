# Sourced by the recording probes, after their bad() and near().
# One MP3 frame: how far the sound's stated length may be from what it
# decodes to.
mp3_frame=$(awk 'BEGIN { printf "%.6f", 1152 / 44100 }')

# Times and lengths any reader relies on: the sound track's stated length
# (the stream's own figure, else its packets' span) within one MP3 frame of
# what it decodes to, and no two packets of a stream at one time, neither
# when the streams are copied nor when they are decoded.
check_times() {
  local f=$1 name=$2 samples sound stated span warnings
  samples=$(( $(ffmpeg -nostdin -v error -i "$f" -map 0:a -f s16le -ac 2 - | wc -c) / 4 ))
  sound=$(awk -v s=$samples 'BEGIN { printf "%.6f", s / 44100 }')
  stated=$(ffprobe -v error -select_streams a:0 -show_entries stream=duration -of csv=p=0 "$f")
  case $stated in ''|N/A)
    span=$(ffprobe -v error -select_streams a:0 -show_entries packet=pts_time,duration_time -of csv=p=0 "$f" \
      | awk -F, -v frame=$mp3_frame 'NR == 1 { first = $1 } { last = $1; d = ($2 == "N/A" || $2 == "") ? frame : $2 }
          END { printf "%.6f", last + d - first }')
    stated=$span;;
  esac
  near "$stated" "$sound" "$mp3_frame" || bad "$name states $stated s of sound and decodes to $sound s"
  warnings=$(ffmpeg -nostdin -v warning -i "$f" -map 0 -c copy -f null - 2>&1 | grep -i "monoton")
  [ -z "$warnings" ] || bad "$name copied: $(echo "$warnings" | head -2)"
  warnings=$(ffmpeg -nostdin -v warning -i "$f" -f null - 2>&1 | grep -i "monoton")
  [ -z "$warnings" ] || bad "$name decoded: $(echo "$warnings" | head -2)"
}
