#!/usr/bin/env bash
# The web panel on the display: serves a page of ours and an MP3 on a
# loopback server, opens the panel through panelhost (browser.dll as the main
# window uses it), takes a screenshot of the window with the page in it,
# clicks the page's download button and prints where the file landed.
# usage: panel_demo.sh WINE BIN_DIR OUT_DIR
set -uo pipefail
wine=$1 bin=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
site="$out/site"
rm -rf "$site" "$out/go" "$out/screen.png" "$out/panel.png"
mkdir -p "$site/qn_effect_depot" "$site/files"
ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=3 -ac 2 -ar 44100 -c:a libmp3lame -b:a 128k \
  "$site/files/demo.mp3" || { echo "FAILED: ffmpeg"; exit 1; }
md5=$(md5sum "$site/files/demo.mp3" | cut -d' ' -f1)
sed -e "s/@MD5@/$md5/" -e "s/@DURATION@/3/" "$here/page.html" >"$site/qn_effect_depot/index.php"

python3 "$here/serve.py" "$site" >"$out/serve.log" 2>&1 &
server=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/^port: //p' "$out/serve.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "FAILED: the loopback server did not start"; kill $server; exit 1; }
echo "page: http://127.0.0.1:$port/qn_effect_depot/index.php"

TQ_SERVICE_URL="http://127.0.0.1:$port/" "$wine" "$bin/panelhost.exe" -go "Z:$out/go" -click 120 120 -expect ffd23c \
  >"$out/panelhost.log" 2>&1 &
host=$!
rect=""
for _ in $(seq 1200); do
  rect=$(sed -n 's/^rect: //p' "$out/panelhost.log" | tr -d '\r')
  [ -n "$rect" ] && break
  kill -0 $host 2>/dev/null || break
  sleep 0.1
done
rc=0
if [ -z "$rect" ]; then
  echo "FAILED: the panel showed no page"; cat "$out/panelhost.log"; rc=1
else
  read -r left top right bottom <<<"$rect"
  import -window root "$out/screen.png" &&
    convert "$out/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$out/panel.png" ||
    { echo "FAILED: screenshot"; rc=1; }
  echo "screenshot of the panel: $out/panel.png"
fi
touch "$out/go"
wait $host || rc=1
kill $server 2>/dev/null
line=$(sed -n 's/^downloaded: //p' "$out/panelhost.log" | tr -d '\r')
if [ -n "$line" ]; then
  path=${line%%|*}
  echo "host callback: $line"
  unix=$("$wine" winepath -u "$path" 2>/dev/null | tr -d '\r')
  echo "downloaded file: $path ($unix)"
  if [ -n "$unix" ] && ! cmp -s "$unix" "$site/files/demo.mp3"; then
    echo "FAILED: the downloaded file differs from the served one"; rc=1
  fi
else
  echo "FAILED: no download reached the host"; cat "$out/panelhost.log"; rc=1
fi
exit $rc
