# Wine for running the product's 32-bit programs. Sourced by setup.sh.
#
# Debian's wine32 runs i386 Linux processes, which need the kernel's 32-bit
# emulation; some machines (this project's among them) boot with it switched
# off. Wine's WoW64 mode runs 32-bit Windows code inside a 64-bit process, so
# where i386 processes cannot start we build Debian's Wine source with both
# PE architectures (--enable-archs=i386,x86_64) and use that build instead.
# The text of this file is part of the cache key.

WINE_CONFLAGS="--enable-archs=i386,x86_64 --with-mingw --disable-tests --without-oss --without-sane
  --without-netapi --without-cups --without-gphoto --without-v4l2 --without-capi --without-pcap
  --without-krb5 --without-opencl --without-usb --without-udev --without-sdl --without-pulse
  --without-gssapi --without-inotify --without-dbus --without-osmesa"

i386_processes_run() {
  local probe=/lib/i386-linux-gnu/ld-linux.so.2
  [ -x "$probe" ] && "$probe" --help >/dev/null 2>&1
}

build_wine_wow64() {   # $1 source dir, $2 prefix
  (cd "$1" &&
    ./debian/scripts/generate server/trace.generated make_requests &&
    ./debian/scripts/generate server/request.generated make_requests &&
    ./tools/make_unicode && ./tools/make_requests &&
    (cd dlls/dsound && ./make_fir) && (cd dlls/opengl32 && ./make_opengl) &&
    (cd dlls/winevulkan && ./make_vulkan -x /usr/share/vulkan/registry/vk.xml) &&
    ln -sf /usr/share/misc/config.sub tools && ln -sf /usr/share/misc/config.guess tools &&
    grep -E '^\s+ln -sf \.\./\.\./' debian/rules | sh &&
    rm -rf libs/zlib && autoreconf -f -i >/dev/null &&
    ./configure --prefix="$2" $WINE_CONFLAGS ZLIB_PE_LIBS=z CFLAGS="-O2 -g0 -Wno-error" &&
    make -C include && make -j"$JOBS" && make install)
}
