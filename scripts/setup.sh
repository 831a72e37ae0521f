#!/usr/bin/env bash
# Prepares a Debian 12 machine to build and test the product:
#   1. Debian packages (mingw-w64 i686 cross compilers, Wine 32-bit, Xvfb, nasm,
#      clang with libFuzzer for the native sanitizer build, ...)
#   2. third-party libraries cross-built for i686-w64-mingw32 (and, where the
#      tests run 64-bit, x86_64-w64-mingw32) from Debian's sources
#      (x264, LAME, libjpeg-turbo, FFmpeg, the 7z decoder, GoogleTest), cached
#      outside the clone and keyed by source versions and build flags.
# Safe to run again: every step checks first and is skipped when already done.
# Prints what the build needs as its last lines: TQ_DEPS_I686, TQ_DEPS_TEST,
# TQ_TEST_ARCH, TQ_WINE, TQ_WINESERVER, TQ_WINEARCH.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
log() { printf '[setup] %s\n' "$*" >&2; }
die() { printf '[setup] FAILED: %s\n' "$*" >&2; exit 1; }

# clang with its sanitizer and libFuzzer runtimes, Ninja and the host
# GoogleTest: the image library's native sanitizer tests and fuzz run.
# GStreamer's plugins: Wine's DirectShow decodes media files through them.
# ImageMagick: screenshots of windows under Xvfb and their pixels.
# Chromium: the web panel's engine, driven over its DevTools protocol; Boost
# (Beast, Asio) and nlohmann::json: that protocol's transport, header-only.
APT_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32 wine64 xvfb xauth libgl1-mesa-dri:i386 libglx-mesa0:i386
              nasm cmake 7zip python3 dpkg-dev pkg-config make fonts-wqy-microhei ffmpeg
              clang libclang-rt-dev ninja-build libgtest-dev
              gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
              gstreamer1.0-plugins-bad gstreamer1.0-libav imagemagick
              chromium libboost1.74-dev nlohmann-json3-dev)

# What 32-bit Wine needs to decode media and play sound, where the tests and
# the demo run the i686 build (Debian's wine32 brings only GStreamer's core).
APT_PACKAGES_I386=(gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386
                   gstreamer1.0-plugins-ugly:i386 gstreamer1.0-plugins-bad:i386
                   gstreamer1.0-libav:i386)

missing_packages() {  # prints the packages of "$@" that are not installed
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

need_apt() {
  dpkg --print-foreign-architectures | grep -qx i386 || return 0
  [ -z "$(missing_packages "${APT_PACKAGES[@]}")" ] || return 0
  ls /etc/apt/sources.list.d/tq-deb-src.* >/dev/null 2>&1 || return 0
  return 1
}

# Source lines (deb-src) for exactly the archives the machine's own apt
# sources name, so apt-get source works; none of our own is made up.
write_source_lines() {
  local d=/etc/apt/sources.list.d f out
  rm -f "$d/tq-deb-src.sources" "$d/tq-deb-src.list"
  out=""
  for f in "$d"/*.sources; do
    [ -f "$f" ] || continue
    grep -Eq '^Types:(.*[[:space:]])?deb([[:space:]]|$)' "$f" || continue
    out+=$(sed -e '/^Types:/s/.*/Types: deb-src/' "$f")$'\n\n'
  done
  if [ -n "$out" ]; then printf '%s' "$out" > "$d/tq-deb-src.sources"; return 0; fi
  out=$(cat /etc/apt/sources.list "$d"/*.list 2>/dev/null | sed -n 's/^[[:space:]]*deb[[:space:]]\+/deb-src /p')
  [ -n "$out" ] || die "the machine has no apt source lines (/etc/apt/sources.list or $d) to take the source packages from"
  printf '%s\n' "$out" > "$d/tq-deb-src.list"
}

apt_install() {  # packages...
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq --no-install-recommends "$@" >/tmp/tq-apt.log 2>&1 \
    || { tail -20 /tmp/tq-apt.log >&2; die "apt-get install (full log: /tmp/tq-apt.log)"; }
}

setup_apt() {
  if ! need_apt; then log "Debian packages: already installed"; return; fi
  [ "$(id -u)" = 0 ] || die "installing Debian packages needs root (run as root or install: ${APT_PACKAGES[*]})"
  log "Debian packages: enabling i386 and source lines, installing ${#APT_PACKAGES[@]} packages (a few minutes)"
  dpkg --add-architecture i386
  write_source_lines
  apt-get update -qq >/dev/null || die "apt-get update"
  apt_install "${APT_PACKAGES[@]}"
  log "Debian packages: done"
}

setup_apt_i386_media() {
  local missing
  missing=$(missing_packages "${APT_PACKAGES_I386[@]}")
  if [ -z "$missing" ]; then log "32-bit media packages: already installed"; return; fi
  [ "$(id -u)" = 0 ] || die "installing Debian packages needs root (run as root or install: $missing)"
  log "32-bit media packages: installing" $missing
  apt-get update -qq >/dev/null || die "apt-get update"
  apt_install $missing
}

# --- third-party libraries ------------------------------------------------
. "$here/deps.sh"
CACHE_ROOT=${TQ_CACHE:-/var/cache/tqsorva}
JOBS=$(nproc)

source_version() {  # the version apt-get source would fetch
  apt-cache showsrc --only-source "$1" 2>/dev/null | awk '/^Version:/ && !v {v=$2} END {print v}'
}

setup_deps() {  # $1: i686 or x86_64; sets DEPS
  set_dep_arch "$1"
  local versions="" s v
  for s in "${DEP_SOURCES[@]}"; do
    v=$(source_version "$s"); [ -n "$v" ] || die "no Debian source package '$s' (is deb-src enabled? run: apt-get update)"
    versions+="$s=$v "
  done
  local key
  key=$(printf '%s\n%s\n' "$DEP_ARCH" "$versions" | cat - "$here/deps.sh" | sha256sum | cut -c1-16)
  DEPS="$CACHE_ROOT/deps-$DEP_ARCH-$key"
  if [ -f "$DEPS/.complete" ]; then log "libraries ($DEP_ARCH): cached in $DEPS"; return; fi

  log "libraries ($DEP_ARCH): cross-building $versions"
  log "libraries ($DEP_ARCH): into $DEPS (logs in $DEPS/logs; a few minutes)"
  local src="$CACHE_ROOT/src-$DEP_ARCH-$key"
  rm -rf "$DEPS" "$src"; mkdir -p "$DEPS/logs" "$src"
  (cd "$src" && for s in "${DEP_SOURCES[@]}"; do
     apt-get source -qq "$s" >"$DEPS/logs/source-$s.log" 2>&1 || die "apt-get source $s (see $DEPS/logs/source-$s.log)"
   done)
  dir_of() { find "$src" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -1; }

  run_build() {  # name, function: runs one recipe with its own log
    local name=$1 fn=$2 d
    d=$(dir_of "$name"); [ -n "$d" ] || { echo "no source folder for $name" >"$DEPS/logs/$name.log"; return 1; }
    if "$fn" "$d" "$DEPS" >"$DEPS/logs/$name.log" 2>&1; then log "  built $name ($DEP_ARCH)"; else return 1; fi
  }
  local failed=""
  run_build x264 build_x264 & local p1=$!
  run_build lame build_lame & local p2=$!
  run_build libjpeg-turbo build_libjpeg_turbo & local p3=$!
  run_build 7zip build_7zip & local p4=$!
  run_build googletest build_googletest & local p5=$!
  wait $p1 || failed+=" x264"; wait $p2 || failed+=" lame"; wait $p3 || failed+=" libjpeg-turbo"
  wait $p4 || failed+=" 7zip"; wait $p5 || failed+=" googletest"
  [ -z "$failed" ] || { for s in $failed; do tail -15 "$DEPS/logs/$s.log" >&2; done; die "building$failed (logs in $DEPS/logs)"; }
  run_build ffmpeg build_ffmpeg || { tail -15 "$DEPS/logs/ffmpeg.log" >&2; die "building ffmpeg (log: $DEPS/logs/ffmpeg.log)"; }
  rm -rf "$src"
  printf '%s\n' "$versions" > "$DEPS/.complete"
  log "libraries ($DEP_ARCH): done"
}

# --- Wine ------------------------------------------------------------------
# The product is 32-bit. Where the kernel can start i386 processes, its tests
# and the demo run it as it ships: the i686 build under 32-bit Wine, in
# 32-bit prefixes. Some kernels boot with 32-bit emulation switched off; there
# nothing can run 32-bit x86 code, so the tests run on an x86_64 build of the
# same sources under wine64, and the i686 deliverables are built but not run.
# TQ_TEST_ARCH=x86_64 takes the 64-bit path on a machine that could run both.
i386_processes_run() {
  local probe=/lib/i386-linux-gnu/ld-linux.so.2
  [ -x "$probe" ] && "$probe" --help >/dev/null 2>&1
}

choose_test_arch() {
  case ${TQ_TEST_ARCH:-} in
    "") if i386_processes_run; then TEST_ARCH=i686; else TEST_ARCH=x86_64; fi ;;
    x86_64) TEST_ARCH=x86_64 ;;
    i686) i386_processes_run || die "TQ_TEST_ARCH=i686, but this machine cannot start i386 processes"
          TEST_ARCH=i686 ;;
    *) die "TQ_TEST_ARCH is i686 or x86_64, not '$TQ_TEST_ARCH'" ;;
  esac
  if [ "$TEST_ARCH" = i686 ]; then
    WINE=/usr/lib/wine/wine; WINESERVER=/usr/lib/wine/wineserver32; WINEARCH=win32
  else
    WINE=/usr/lib/wine/wine64; WINESERVER=/usr/lib/wine/wineserver64; WINEARCH=win64
  fi
  [ -x "$WINE" ] || die "no $WINE (Debian's wine packages did not install)"
  [ -x "$WINESERVER" ] || die "no $WINESERVER (Debian's wine packages did not install)"
  log "tests run on the $TEST_ARCH build under $WINE"
}

# One set-up at a time on a machine: a second caller waits, then finds the cache.
mkdir -p "$CACHE_ROOT"
exec 9>"$CACHE_ROOT/.setup.lock"
flock 9

setup_apt
choose_test_arch
if [ "$TEST_ARCH" = i686 ]; then setup_apt_i386_media; fi
setup_deps i686
DEPS_I686=$DEPS
if [ "$TEST_ARCH" != i686 ]; then setup_deps "$TEST_ARCH"; fi
echo "TQ_DEPS_I686=$DEPS_I686"
echo "TQ_DEPS_TEST=$DEPS"
echo "TQ_TEST_ARCH=$TEST_ARCH"
echo "TQ_WINE=$WINE"
echo "TQ_WINESERVER=$WINESERVER"
echo "TQ_WINEARCH=$WINEARCH"
