# Shared by the README's commands: set-up, build, Wine prefix and display.
# Sourced; expects $root (the checkout).

build=${TQ_BUILD:-$root/build}
msg() { printf '[%s] %s\n' "${TQ_STEP:-tq}" "$*" >&2; }

# Runs the set-up script and takes what the build needs from its last lines.
tq_setup() {
  local out
  out=$(bash "$root/scripts/setup.sh") || exit 1
  for v in TQ_DEPS_I686 TQ_DEPS_TEST TQ_TEST_ARCH TQ_WINE TQ_WINESERVER TQ_WINEARCH; do
    export "$v=$(printf '%s\n' "$out" | sed -n "s/^$v=//p")"
  done
  # The build whose tests run here (the i686 one where 32-bit code can run).
  TEST_BUILD="$build/$TQ_TEST_ARCH"
}

tq_build_arch() {  # arch, dependency prefix
  local dir="$build/$1"
  msg "building the $1 tree into $dir"
  mkdir -p "$dir"
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$1-mingw.cmake" \
        -DTQ_DEPS="$2" -DTQ_WINE="$TQ_WINE" -DTQ_WINESERVER="$TQ_WINESERVER" -DTQ_WINEARCH="$TQ_WINEARCH" \
        >"$dir/configure.log" 2>&1 \
    || { cat "$dir/configure.log" >&2; msg "FAILED: cmake configure ($1)"; exit 1; }
  cmake --build "$dir" -j"${TQ_JOBS:-$(nproc)}" >"$dir/build.log" 2>&1 \
    || { grep -E 'error|Error' "$dir/build.log" | head -40 >&2; msg "FAILED: build (full log: $dir/build.log)"; exit 1; }
}

# The product's i686 tree always (TQ_SKIP_I686=1 leaves it out while working
# on tests), the test tree too where it differs.
tq_build() {
  if [ -z "${TQ_SKIP_I686:-}" ] || [ "$TQ_TEST_ARCH" = i686 ]; then tq_build_arch i686 "$TQ_DEPS_I686"; fi
  if [ "$TQ_TEST_ARCH" != i686 ]; then tq_build_arch "$TQ_TEST_ARCH" "$TQ_DEPS_TEST"; fi
}

# Makes (once) a Wine prefix and a HOME under $1 and exports them. The
# prefix is of the tests' arch (win32 for the i686 build): one of the other
# arch left there is made anew.
tq_wine_env() {
  local dir=$1
  export WINEPREFIX="$dir/prefix" HOME="$dir/home" WINEDEBUG=${WINEDEBUG:--all} WINEARCH=$TQ_WINEARCH
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$HOME"
  # No sound card here: a null ALSA device lets audio graphs run.
  [ -f "$HOME/.asoundrc" ] || printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' > "$HOME/.asoundrc"
  if [ "$(cat "$dir/.ready" 2>/dev/null)" != "$WINEARCH" ]; then
    rm -rf "$WINEPREFIX" "$dir/.ready"
    msg "creating the $WINEARCH Wine prefix $WINEPREFIX"
    "$TQ_WINE" wineboot -i >"$dir/wineboot.log" 2>&1 || { tail -20 "$dir/wineboot.log" >&2; msg "FAILED: wineboot"; exit 1; }
    tq_font_replacements "$dir"
    "$TQ_WINESERVER" -w
    echo "$WINEARCH" > "$dir/.ready"
  fi
}

# Chinese face names the product asks for, mapped to the installed
# WenQuanYi Micro Hei (written as a UTF-16 .reg file: the names are not ASCII).
tq_font_replacements() {
  local reg="$1/fonts.reg"
  python3 - "$reg" <<'PY'
import sys
names = ["\u5fae\u8f6f\u96c5\u9ed1", "Microsoft YaHei", "SimSun", "\u5b8b\u4f53", "NSimSun"]
lines = ["Windows Registry Editor Version 5.00", "", "[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]"]
lines += ['"%s"="WenQuanYi Micro Hei"' % n for n in names]
open(sys.argv[1], "wb").write(("\r\n".join(lines) + "\r\n").encode("utf-16"))
PY
  "$TQ_WINE" regedit /S "Z:$reg" >/dev/null 2>&1 || msg "warning: could not set the font replacements"
}

# Runs a command with an X display (Xvfb) and one wineserver for the whole run.
tq_with_display() {
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash -c '
    "$TQ_WINESERVER" -p >/dev/null 2>&1
    "$@"; rc=$?
    "$TQ_WINESERVER" -k >/dev/null 2>&1
    exit $rc' tq "$@"
}
