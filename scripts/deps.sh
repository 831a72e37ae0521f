# Recipes for the third-party libraries, cross-built for i686-w64-mingw32 from
# Debian's source packages. Sourced by setup.sh. The text of this file is part
# of the cache key: editing a recipe rebuilds the libraries.

DEP_CFLAGS="-O2 -msse2 -mfpmath=sse"
DEP_SOURCES=(x264 lame libjpeg-turbo ffmpeg 7zip googletest)

# The target: i686 (the product) or x86_64 (the tests where 32-bit code cannot run).
set_dep_arch() {
  DEP_ARCH=$1
  HOST=$1-w64-mingw32
  CC_X="$HOST-gcc-posix"
  CXX_X="$HOST-g++-posix"
  case $1 in
    i686) FFMPEG_ARCH=x86; CMAKE_CPU=x86 ;;
    x86_64) FFMPEG_ARCH=x86_64; CMAKE_CPU=AMD64 ;;
  esac
}

# Writes a CMake toolchain for the dependencies' own CMake builds.
write_dep_toolchain() {
  cat > "$1" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $CMAKE_CPU)
set(CMAKE_C_COMPILER $CC_X)
set(CMAKE_CXX_COMPILER $CXX_X)
set(CMAKE_RC_COMPILER $HOST-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$HOST)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
TC
}

build_x264() {   # $1 source dir, $2 prefix
  (cd "$1" && ./configure --host=$HOST --cross-prefix=$HOST- --prefix="$2" \
      --enable-static --disable-cli --enable-pic --extra-cflags="$DEP_CFLAGS" \
    && make -j"$JOBS" && make install)
}

build_lame() {
  (cd "$1" && CC=$CC_X CFLAGS="$DEP_CFLAGS" ./configure --host=$HOST --prefix="$2" \
      --enable-static --disable-shared --disable-frontend --disable-decoder --disable-gtktest \
    && make -j"$JOBS" && make install)
}

build_libjpeg_turbo() {
  local b="$1/build-mingw"
  write_dep_toolchain "$1/tc.cmake"
  cmake -S "$1" -B "$b" -DCMAKE_TOOLCHAIN_FILE="$1/tc.cmake" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$2" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
      -DCMAKE_C_FLAGS="$DEP_CFLAGS" \
    && cmake --build "$b" -j"$JOBS" && cmake --install "$b"
}

build_ffmpeg() {
  (cd "$1" && PKG_CONFIG_PATH="$2/lib/pkgconfig" PKG_CONFIG_LIBDIR="$2/lib/pkgconfig" ./configure \
      --prefix="$2" --arch=$FFMPEG_ARCH --target-os=mingw32 --cross-prefix=$HOST- --enable-cross-compile \
      --cc=$CC_X --cxx=$CXX_X --pkg-config=pkg-config --pkg-config-flags=--static \
      --enable-static --disable-shared --disable-programs --disable-doc --disable-debug \
      --disable-everything --disable-autodetect --disable-network \
      --disable-avdevice --disable-avfilter --disable-swresample --disable-postproc \
      --enable-gpl --enable-libx264 --enable-libmp3lame --enable-swscale \
      --enable-encoder=libx264,libmp3lame --enable-muxer=mp4,flv,avi,matroska --enable-protocol=file \
      --extra-cflags="-I$2/include $DEP_CFLAGS" --extra-ldflags="-L$2/lib" \
    && make -j"$JOBS" && make install)
}

build_7zip() {
  local files="7zAlloc.c 7zArcIn.c 7zBuf.c 7zCrc.c 7zCrcOpt.c 7zDec.c 7zFile.c 7zStream.c Bcj2.c Bra.c
               Bra86.c BraIA64.c CpuArch.c Delta.c Lzma2Dec.c LzmaDec.c Ppmd7.c Ppmd7Dec.c"
  local o="$1/obj-mingw" f
  mkdir -p "$o" "$2/include/7z" "$2/lib"
  for f in $files; do
    $CC_X -O2 -DZ7_PPMD_SUPPORT -DZ7_EXTRACT_ONLY -DUNICODE -D_UNICODE -c "$1/C/$f" -o "$o/${f%.c}.o" || return 1
  done
  rm -f "$2/lib/lib7zdec.a"
  $HOST-ar rcs "$2/lib/lib7zdec.a" "$o"/*.o && cp "$1"/C/*.h "$2/include/7z/"
}

build_googletest() {
  local b="$1/build-mingw"
  write_dep_toolchain "$1/tc.cmake"
  cmake -S "$1" -B "$b" -DCMAKE_TOOLCHAIN_FILE="$1/tc.cmake" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$2" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_force_shared_crt=ON \
      -DCMAKE_CXX_FLAGS="$DEP_CFLAGS" \
    && cmake --build "$b" -j"$JOBS" && cmake --install "$b"
}
