#!/usr/bin/env bash
# Makes the media tests' clips with Debian's ffmpeg: five seconds of a
# 640x480 picture with a tone in each container the source plays, picture-only
# copies, and files no recipe can play.
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
[ -f .done ] && exit 0
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
ff "${tone[@]}" -c:a libmp3lame song.mp3
: > empty.avi
head -c 30000 clip.mp4 > truncated.mp4
printf 'this is not a video\n' > text.avi
python3 -c "import random; random.seed(17); open('random.mkv','wb').write(bytes(random.getrandbits(8) for _ in range(200000)))"
touch .done
