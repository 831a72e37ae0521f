#!/bin/sh
# Archives the in-process installer tests extract, made with Debian's 7zz:
#   ok.7z         an "install" tree (files, a nested folder, an empty folder)
#                 and a file without a folder, one solid LZMA2 block
#   cut.7z        ok.7z cut to half its length
#   flipped.7z    ok.7z with one byte of its packed data changed
#   hostile_N.7z  one harmless entry, then one entry renamed to a hostile name
#                 (names in hostile_names.txt, line N)
#   component.7z  the component archive of the update tests ("comp.txt" and "sub/c2.txt")
#   compbad.7z    a component archive: "comp.txt", then an entry routed to "TEMP"
#   comphuge.7z   a component archive of two blocks: "comp.txt", then "zz.bin"
#                 whose header announces 2^50 bytes (more than any disk here)
set -eu
out=$1
rm -rf "$out"
mkdir -p "$out/src/install/sub" "$out/src/install/empty" "$out/csrc/sub" "$out/bsrc" "$out/gsrc"
cd "$out/src"
printf 'alpha' > install/a.txt
head -c 200000 /dev/urandom > install/sub/b.bin
printf 'plain' > plain.txt
7zz a -bso0 -t7z -m0=lzma2 -mx=5 ../ok.7z install plain.txt
cd "$out"
size=$(stat -c %s ok.7z)
head -c $((size / 2)) ok.7z > cut.7z
cp ok.7z flipped.7z
printf '\377' | dd of=flipped.7z bs=1 seek=100 conv=notrunc status=none
i=0
while IFS= read -r name; do
  i=$((i + 1))
  rm -rf "$out/h" && mkdir -p "$out/h/install" && cd "$out/h"
  printf 'first' > install/first.txt
  printf 'evil' > zz_evil.txt
  7zz a -bso0 -t7z ../hostile_$i.7z install/first.txt zz_evil.txt
  7zz rn -bso0 ../hostile_$i.7z zz_evil.txt "$name"
  cd "$out"
done <<'NAMES'
../x
TEMP/../../x
C:\x
/x
C:x
install/../../x
install/../../../../../../../../../windows/tq_canary.txt
install/.. /x
NAMES
cd "$out/csrc" && printf 'component one' > comp.txt && printf 'component two' > sub/c2.txt
7zz a -bso0 -t7z ../component.7z comp.txt sub
cd "$out/bsrc" && printf 'component one' > comp.txt && printf 'evil' > zz.txt
7zz a -bso0 -t7z ../compbad.7z comp.txt zz.txt && 7zz rn -bso0 ../compbad.7z zz.txt TEMP/x
cd "$out/gsrc" && printf 'component one' > comp.txt && head -c 300 /dev/zero | tr '\0' 'a' > zz.bin
7zz a -bso0 -t7z -mhc=off -ms=off ../comphuge_src.7z comp.txt zz.bin
# The plain header lists the blocks' unpacked sizes after property 0x0C:
# 13 (one byte), then 300 (0x81 0x2C); the second becomes 2^50 and the
# header's length and both CRCs are written anew.
python3 - "$out/comphuge_src.7z" "$out/comphuge.7z" <<'PY'
import struct, sys, zlib
data = bytearray(open(sys.argv[1], "rb").read())
offset, size, _ = struct.unpack_from("<QQI", data, 12)
header = bytes(data[32 + offset:32 + offset + size])
old = b"\x0c\x0d\x81\x2c"
assert header.count(old) == 1
header = header.replace(old, b"\x0c\x0d\xff" + (2 ** 50).to_bytes(8, "little"))
data = data[:32 + offset] + header
struct.pack_into("<QQI", data, 12, offset, len(header), zlib.crc32(header))
struct.pack_into("<I", data, 8, zlib.crc32(bytes(data[12:32])))
open(sys.argv[2], "wb").write(data)
PY
rm -f "$out/comphuge_src.7z"
rm -rf "$out/src" "$out/csrc" "$out/bsrc" "$out/gsrc" "$out/h"
