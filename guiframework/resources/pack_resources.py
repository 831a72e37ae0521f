#!/usr/bin/env python3
"""Packs files into a compiled resource table: a C++ source defining the
names, the files back to back and their sizes, and a function that hands
the table to kqRegisterResourceData.
usage: pack_resources.py OUT.cpp FUNCTION PREFIX FILE...
Each file is registered as PREFIX + its base name."""
import os
import sys


def pack(out, function, prefix, files):
    blobs = []
    for path in files:
        with open(path, "rb") as f:
            blobs.append((prefix + os.path.basename(path), f.read()))
    lines = ['#include "KqResourceLib.h"', "", "namespace {", "const char* const kNames[] = {"]
    lines += ['    "%s",' % name for name, _ in blobs]
    lines += ["};", "const unsigned char kData[] = {"]
    data = b"".join(blob for _, blob in blobs)
    for i in range(0, len(data), 20):
        lines.append("    " + ", ".join("0x%02x" % b for b in data[i:i + 20]) + ",")
    lines += ["};", "const int32_t kSizes[] = {"]
    lines += ["    %d," % len(blob) for _, blob in blobs]
    lines += ["};", "} // namespace", "",
              "bool %s()" % function, "{",
              "    return kqRegisterResourceData(%d, kNames, kData, kSizes);" % len(blobs), "}", ""]
    text = "\n".join(lines)
    if not os.path.exists(out) or open(out).read() != text:
        with open(out, "w") as f:
            f.write(text)


def main():
    pack(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:])


if __name__ == "__main__":
    main()
