#!/usr/bin/env bash
# Makes the media tests' clips with Debian's ffmpeg: five seconds of a
# 640x480 picture with a tone in each container the source plays, picture-only
# copies, and files no recipe can play. Uncompressed AVIs of colour quadrants
# (red, green / blue, white) for the LAV recipe's stand-ins: with sound,
# picture only, and damaged copies.
set -euo pipefail
out=$1
# Made again whenever this script changes.
stamp=$(md5sum "$0" | cut -d" " -f1)
mkdir -p "$out"
cd "$out"
[ "$(cat .done 2>/dev/null)" = "$stamp" ] && exit 0
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
pic=(-f lavfi -i testsrc=size=640x480:rate=25:duration=5)
tone=(-f lavfi -i sine=frequency=440:sample_rate=44100:duration=5)
ff "${pic[@]}" "${tone[@]}" -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest clip.mp4
ff "${pic[@]}" "${tone[@]}" -c:v flv -c:a libmp3lame -shortest clip.flv
ff "${pic[@]}" "${tone[@]}" -c:v mpeg4 -c:a libmp3lame -shortest clip.avi
ff "${pic[@]}" "${tone[@]}" -c:v wmv2 -c:a wmav2 -shortest clip.wmv
ff "${pic[@]}" "${tone[@]}" -c:v mpeg1video -b:v 2M -c:a mp2 -f mpeg -shortest clip.mpg
ff "${pic[@]}" -c:v libx264 -pix_fmt yuv420p -an video.mp4
ff "${pic[@]}" -c:v mpeg4 -an video.avi
cp video.mp4 clip
# From 2.5 s on the colours are inverted (cyan, magenta / yellow, black), so
# a picture tells which half of the clip it comes from.
r="if(lt(Y,H/2),if(lt(X,W/2),255,0),if(lt(X,W/2),0,255))" g="if(lt(X,W/2),0,255)" b="if(lt(Y,H/2),0,255)"
half() { printf "if(lt(T,2.5),%s,255-%s)" "$1" "$1"; }
quad=(-f lavfi -i "nullsrc=size=160x120:rate=10:duration=5,format=gbrp,geq=r='$(half "$r")':g='$(half "$g")':b='$(half "$b")'")
ff "${quad[@]}" "${tone[@]}" -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -shortest raw.avi
ff "${quad[@]}" -c:v rawvideo -pix_fmt bgr24 -an rawvideo.avi
ff "${quad[@]}" -c:v rawvideo -pix_fmt yuyv422 -an rawyuy2.avi
head -c 1000000 raw.avi > rawtruncated.avi
# The first picture chunk claims far more than the file holds.
python3 - raw.avi rawdamaged.avi <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
at = data.index(b'00dc', data.index(b'movi'))
data[at + 4:at + 8] = (0x7FFFFFF0).to_bytes(4, 'little')
open(sys.argv[2], 'wb').write(data)
PY
ff "${tone[@]}" -c:a libmp3lame song.mp3
: > empty.avi
head -c 30000 clip.mp4 > truncated.mp4
printf 'this is not a video\n' > text.avi
python3 -c "import random; random.seed(17); open('random.mkv','wb').write(bytes(random.getrandbits(8) for _ in range(200000)))"
echo "$stamp" > .done
