#!/bin/sh
# Makes a Wine prefix of a test's own from the booted test prefix: folders
# copied, system files hard-linked (nothing here writes one in place), the
# registry files and the user's application data copied, and the user's
# folders real folders instead of links into the shared HOME. Usage: make_prefix.sh BOOTED_PREFIX TARGET_FOLDER
set -e
source=$1
target=$2
rm -rf "$target"
mkdir -p "$target/home"
# Other tests run in the test prefix meanwhile: a file of theirs that goes
# while the copy lists it is no error (Temp is emptied below).
if ! cp -al "$source" "$target/prefix" 2>"$target/copy.err"; then
  if grep -v 'No such file or directory' "$target/copy.err" >&2; then exit 1; fi
fi
for reg in "$target"/prefix/*.reg; do
  cp --remove-destination "$source/$(basename "$reg")" "$reg"
done
# The user's folders are written in place (logs, setup.ini): real copies, so
# nothing reaches the test prefix through a shared file; Temp starts empty.
for user in "$target"/prefix/drive_c/users/*; do
  for entry in "$user"/*; do
    if [ -L "$entry" ]; then
      rm "$entry" && mkdir "$entry"
    elif [ "$(basename "$entry")" = AppData ]; then
      rm -rf "$entry" && cp -a "$source/drive_c/users/$(basename "$user")/AppData" "$entry"
    elif [ "$(basename "$entry")" = Temp ]; then
      rm -rf "$entry" && mkdir "$entry"
    fi
  done
done
