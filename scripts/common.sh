# Shared by the README's commands: set-up, build, Wine prefix and display.
# Sourced; expects $root (the checkout).

build=${TQ_BUILD:-$root/build}
msg() { printf '[%s] %s\n' "${TQ_STEP:-tq}" "$*" >&2; }

# Runs the set-up script and takes TQ_DEPS and TQ_WINE from its last lines.
tq_setup() {
  local out
  out=$(bash "$root/scripts/setup.sh") || exit 1
  TQ_DEPS=$(printf '%s\n' "$out" | sed -n 's/^TQ_DEPS=//p')
  TQ_WINE=$(printf '%s\n' "$out" | sed -n 's/^TQ_WINE=//p')
  TQ_WINESERVER="$(dirname "$TQ_WINE")/wineserver"
  export TQ_DEPS TQ_WINE TQ_WINESERVER
}

tq_build() {
  msg "building into $build"
  mkdir -p "$build"
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
        -DTQ_DEPS="$TQ_DEPS" -DTQ_WINE="$TQ_WINE" >"$build/configure.log" 2>&1 \
    || { cat "$build/configure.log" >&2; msg "FAILED: cmake configure"; exit 1; }
  cmake --build "$build" -j"$(nproc)" >"$build/build.log" 2>&1 \
    || { grep -E 'error|Error' "$build/build.log" | head -40 >&2; msg "FAILED: build (full log: $build/build.log)"; exit 1; }
}

# Makes (once) a Wine prefix and a HOME under $1 and exports them.
tq_wine_env() {
  local dir=$1
  export WINEPREFIX="$dir/prefix" HOME="$dir/home" WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$HOME"
  # No sound card here: a null ALSA device lets audio graphs run.
  [ -f "$HOME/.asoundrc" ] || printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' > "$HOME/.asoundrc"
  if [ ! -f "$dir/.ready" ]; then
    msg "creating the Wine prefix $WINEPREFIX"
    "$TQ_WINE" wineboot -i >"$dir/wineboot.log" 2>&1 || { tail -20 "$dir/wineboot.log" >&2; msg "FAILED: wineboot"; exit 1; }
    "$TQ_WINESERVER" -w
    touch "$dir/.ready"
  fi
}

# Runs a command with an X display (Xvfb) and one wineserver for the whole run.
tq_with_display() {
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash -c '
    "$TQ_WINESERVER" -p >/dev/null 2>&1
    "$@"; rc=$?
    "$TQ_WINESERVER" -k >/dev/null 2>&1
    exit $rc' tq "$@"
}
