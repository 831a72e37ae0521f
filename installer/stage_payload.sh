#!/bin/sh
# Stages the product the installer carries and packs it with 7zz:
#   stage_payload.sh OUT.7z STAGE_DIR RES_DIR TOP_FILES -- VERSION_FILES
# TOP_FILES land in install/, VERSION_FILES in install/1.0.3.0/, RES_DIR is
# copied to install/1.0.3.0/res.
set -eu
out=$1 stage=$2 res=$3
shift 3
rm -rf "$stage" "$out"
mkdir -p "$stage/install/1.0.3.0"
dest="$stage/install"
for f in "$@"; do
  if [ "$f" = "--" ]; then dest="$stage/install/1.0.3.0"; continue; fi
  [ -n "$f" ] || continue  # a program this build does not have
  cp "$f" "$dest/"
done
cp -r "$res" "$stage/install/1.0.3.0/res"
# LZMA2 with the x86 branch filter for programs, one solid block. The
# contents of "install" are named one by one, so the archive holds no entry
# for the top folder itself (which would become an empty folder "install").
cd "$stage" && 7zz a -bd -bso0 -t7z -m0=lzma2 -mx=7 -mf=BCJ "$out" install/*
