#!/bin/sh
# Makes a Wine prefix of a test's own from the booted test prefix: folders
# copied, files hard-linked (nothing here writes a system file in place), the
# registry files copied, and the user's folders real folders instead of links
# into the shared HOME. Usage: make_prefix.sh BOOTED_PREFIX TARGET_FOLDER
set -e
source=$1
target=$2
rm -rf "$target"
mkdir -p "$target/home"
cp -al "$source" "$target/prefix"
for reg in "$target"/prefix/*.reg; do
  cp --remove-destination "$source/$(basename "$reg")" "$reg"
done
for user in "$target"/prefix/drive_c/users/*; do
  for entry in "$user"/*; do
    if [ -L "$entry" ]; then rm "$entry" && mkdir "$entry"; fi
  done
done
