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
set -eu
out=$1
rm -rf "$out"
mkdir -p "$out/src/install/sub" "$out/src/install/empty" "$out/csrc/sub" "$out/bsrc"
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
rm -rf "$out/src" "$out/csrc" "$out/bsrc" "$out/h"
