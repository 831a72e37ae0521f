#!/usr/bin/env bash
# Runs inside scripts/run.sh's display and wineserver: starts the installed
# product through its launcher and has DirectShow consumers take its frames.
set -uo pipefail
bin=$TQ_DEMO_BIN
out=$TQ_DEMO_OUT
wine=$TQ_WINE
productwin='C:\Program Files\TqSorva'
say() { echo "== demo: $*" >&2; }

# One run of the product: started with its switches, its output in
# $out/product-NAME.log, waited for by a line of that output, stopped.
start_product() {  # name, switches...
  local name=$1; shift
  "$wine" "$productwin\\TqSorva.exe" -seconds 40 "$@" >"$out/product-$name.log" 2>&1 &
  product=$!
}
wait_for_line() {  # name, pattern[, tries]: true once the product's output has the line (tries of 0.5 s, 80 unless given)
  for _ in $(seq "${3:-80}"); do
    grep -q "$2" "$out/product-$1.log" 2>/dev/null && return 0
    sleep 0.5
  done
  return 1
}
grab_frames() {  # folder, size, frame time: five frames from "TqNelu", the last lines of the report
  mkdir -p "$1"
  "$wine" "$bin/vcamgrab.exe" grab TqNelu -size "$2" -frametime "$3" -frames 5 -out "Z:$1" \
    >"$1/samples.txt" 2>&1 || rc=1
  sed 's/^/     /' "$1/samples.txt" | tail -3
}
stop_product() {
  "$wine" taskkill /im TqSorva.exe >/dev/null 2>&1
  wait $product || true
}

"$wine" regsvr32 /s "$productwin\\1.0.3.0\\TqVirtualCam.ax" || { say "FAILED: regsvr32 TqVirtualCam.ax"; exit 1; }
say "cameras DirectShow lists:"
"$wine" "$bin/vcamgrab.exe" list | sed 's/^/     /'

say "starting the product: TqSorva.exe (updater check, then the main window with the engine)"
"$wine" "$productwin\\TqSorva.exe" -seconds 40 >"$out/product.log" 2>&1 &
product=$!

# The engine's first frame in the shared record, read the way the filter reads it.
for _ in $(seq 60); do
  "$wine" "$bin/framepeer.exe" read "Z:$out/frame.bmp" >/dev/null 2>&1 && break
  sleep 0.5
done
[ -f "$out/frame.bmp" ] || { say "FAILED: the engine wrote no frame"; exit 1; }

rc=0
say "grabbing five 640x480 frames from \"TqNelu\""
mkdir -p "$out/tqnelu"
"$wine" "$bin/vcamgrab.exe" grab TqNelu -size 640x480 -frametime 333333 -frames 5 -out "Z:$out/tqnelu" \
  >"$out/tqnelu/samples.txt" 2>&1 || rc=1
sed 's/^/     /' "$out/tqnelu/samples.txt" | tail -8
stop_product

# The whole road with a moving picture: the test camera as the source, the
# compositor's mirror, mark and a scrolling caption, "TqNelu" as the output.
"$wine" regsvr32 /s "Z:$bin/TqTestCam.ax" || { say "FAILED: regsvr32 TqTestCam.ax"; exit 1; }
say "starting the product again with the test camera as its source, mirrored, with a caption"
say "and recording three seconds of the composed picture with sound through the engine's recorder"
start_product camera -camera "Tq Test Camera" -mirror -caption "TqNelu: camera, mirror, mark and caption" \
  -record "Z:$out/demo.mkv" 3
if wait_for_line camera 'camera "Tq Test Camera" running'; then
  say "grabbing five 640x480 frames from \"TqNelu\" while the camera runs"
  grab_frames "$out/camera" 640x480 333333
else
  say "FAILED: the test camera did not start (see $out/product-camera.log)"
  rc=1
fi
wait_for_line camera 'mainframe: recordings done' 40 || { say "FAILED: the recording did not end (see $out/product-camera.log)"; rc=1; }
stop_product

# Karaoke over the camera: a generated song (its original and backing track)
# with timed lyrics; the lyric lines and their sung part are drawn over the
# camera's picture as the song's positions come in.
song="$out/karaoke-song"
mkdir -p "$song" "$out/karaoke"
ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=12" -ac 2 -ar 44100 -c:a libmp3lame -b:a 128k "$song/original.mp3" &&
ffmpeg -v error -y -f lavfi -i "sine=frequency=660:duration=12" -ac 2 -ar 44100 -c:a libmp3lame -b:a 128k "$song/karaoke.mp3" ||
  say "FAILED: ffmpeg could not make the song"
printf '[00:00.00]TqNelu sings along\r\n[00:04.00]the lyric sweep grows\r\n[00:08.00]line by line\r\n' > "$song/song.lrc"
say "starting the product with the test camera and a song with lyrics"
start_product karaoke -camera "Tq Test Camera" \
  -accompany "Z:$song/original.mp3" "Z:$song/karaoke.mp3" -lyrics "Z:$song/song.lrc"
if wait_for_line karaoke 'mainframe: lyrics shown'; then
  say "grabbing five 640x480 frames from \"TqNelu\" while the song plays"
  grab_frames "$out/karaoke" 640x480 2000000
else
  say "FAILED: the song with lyrics did not start (see $out/product-karaoke.log)"
  rc=1
fi
stop_product

# Layers over the test camera: a still sticker (PNG) and an animated GIF
# sticker, both made here by ffmpeg, drawn into every frame "TqNelu" gives.
# (Flash layers need the Flash control, which this machine does not have.)
layers="$out/layers"
mkdir -p "$layers"
ffmpeg -v error -y -f lavfi -i "color=c=magenta:s=60x45" -frames:v 1 "$layers/sticker.png" &&
ffmpeg -v error -y -f lavfi -i "testsrc=s=80x60:r=4:d=3" -loop 0 "$layers/sticker.gif" ||
  { say "FAILED: ffmpeg could not make the layer pictures"; rc=1; }
say "starting the product with the test camera, a PNG sticker at (10, 10) and a GIF sticker at (10, 200)"
start_product layers -camera "Tq Test Camera" \
  -layer "Z:$layers/sticker.png" 10 10 -layer "Z:$layers/sticker.gif" 10 200
if wait_for_line layers 'camera "Tq Test Camera" running'; then
  say "grabbing five 480x360 frames with the layers from \"TqNelu\" into $layers"
  grab_frames "$layers" 480x360 333333
else
  say "FAILED: the test camera did not start for the layers (see $out/product-layers.log)"
  rc=1
fi
stop_product
"$wine" regsvr32 /s /u "Z:$bin/TqTestCam.ax"

# A media file as the source: a clip made here by Debian's ffmpeg (a moving
# test picture with a tone), played in a loop by the stand-in main window.
mkdir -p "$out/media" "$out/desktop"
clip="$out/media/clip.mp4"
ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc=size=640x360:rate=25:duration=20 \
  -f lavfi -i sine=frequency=440:duration=20 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$clip" \
  || { say "FAILED: ffmpeg could not make the clip"; exit 1; }
grab_from() {  # name, wanted line, switches...: a source's run, five frames into $out/NAME
  local name=$1 wanted=$2; shift 2
  start_product "$name" "$@"
  if wait_for_line "$name" "$wanted"; then
    say "grabbing five 640x480 frames from \"TqNelu\" with the $name as the source"
    grab_frames "$out/$name" 640x480 333333
  else
    say "FAILED: the $name source did not start (see $out/product-$name.log)"
    rc=1
  fi
  stop_product
}
say "starting the product again with a media file as its source"
grab_from media "media file .* playing" -media "Z:$clip"
say "starting the product again with the desktop as its source"
grab_from desktop "desktop running" -desktop

# The GUI framework on the display: the demo window, a screenshot of it and
# its backing store, compared pixel for pixel where the store is opaque.
say "showing the GUI framework's demo window (guidemo) and taking a screenshot"
bash "$(dirname "$0")/../tools/guidemo/screenshot_check.sh" "$wine" "$bin/guidemo.exe" "$out/gui" "$out/gui/guidemo.png" \
  | sed 's/^/     /' || { say "FAILED: the GUI demo (see $out/gui/demo.log)"; rc=1; }

# The web panel: browser.dll's window over Debian's Chromium with a page of
# ours from a loopback server; a screenshot, then a click that downloads.
say "opening the web panel (panelhost: browser.dll's ShowMoreAuraeBox) on a loopback page and downloading from it"
bash "$(dirname "$0")/../tools/panelhost/panel_demo.sh" "$wine" "$bin" "$out/panel" \
  | sed 's/^/     /' || { say "FAILED: the web panel (see $out/panel/panelhost.log)"; rc=1; }
exit $rc
