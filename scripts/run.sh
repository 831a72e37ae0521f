#!/usr/bin/env bash
# The README's main command: set up, build, install the product into a Wine
# prefix and show the virtual camera's frames reaching a DirectShow consumer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
TQ_STEP=run
. "$root/scripts/common.sh"

tq_setup
tq_build
tq_wine_env "$build/demo"
out="$build/demo/out"
bin="$TEST_BUILD/bin"
rm -rf "$out"
mkdir -p "$out"

# The installed layout: the launcher and "Launcher.xml" at the top of the
# product folder, everything else in the version folder it names.
product="$WINEPREFIX/drive_c/Program Files/TqSorva"
version_dir="$product/1.0.3.0"
rm -rf "$product"
mkdir -p "$version_dir"
cp "$bin/TqSorva.exe" "$root/launcher/Launcher.xml" "$product/"
for f in update.exe mainframe.dll lumeo.dll kqlog.dll Sonvex.dll TqVirtualCam.ax; do
  cp "$bin/$f" "$version_dir/"
done
msg "product installed in $product"

export TQ_DEMO_BIN="$bin" TQ_DEMO_OUT="$out"
tq_with_display bash "$root/scripts/demo-main.sh" || { msg "FAILED: see the lines above and $out"; exit 1; }
msg "the engine's frame in the shared record: $out/frame.bmp"
msg "frames a DirectShow consumer received from \"TqNelu\": $out/tqnelu/frame_000.bmp ... frame_004.bmp (sample times in $out/tqnelu/samples.txt)"
msg "frames from \"TqNelu\" with the test camera as the source (mirrored, mark, scrolling caption): $out/camera/frame_000.bmp ... frame_004.bmp"
msg "frames from \"TqNelu\" with a generated clip as the source (media file): $out/media/frame_000.bmp ... frame_004.bmp"
msg "frames from \"TqNelu\" with the desktop as the source: $out/desktop/frame_000.bmp ... frame_004.bmp"
msg "frames from \"TqNelu\" with a song's lyric lines over the test camera: $out/karaoke/frame_000.bmp ... frame_004.bmp"
msg "frames from \"TqNelu\" with a PNG and a GIF sticker over the test camera: $out/layers/frame_000.bmp ... frame_004.bmp"
msg "the GUI framework's demo window on the screen: $out/gui/guidemo.png (its backing store with alpha: $out/gui/store.png)"
msg "the web panel with a page of ours: $out/panel/panel.png; the file its button downloaded: see \"downloaded file\" above"
[ -s "$out/demo.mkv" ] && msg "three seconds recorded with sound: $out/demo.mkv"

# Last, the installer itself: a silent install into a fresh prefix.
export TQ_SETUP_DEMO="$build/demo/setup" TQ_WINESERVER
tq_with_display bash "$root/scripts/demo-setup.sh" || { msg "FAILED: the silent install (see the lines above)"; exit 1; }
msg "installed silently with TqSorvaSetup.exe into the fresh prefix $TQ_SETUP_DEMO/prefix"
exit 0
