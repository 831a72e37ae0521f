#!/bin/sh
# Folder trees holding Unix symbolic links to places outside them, made anew
# in the current folder before each run (deleting the trees is what the test
# checks). Each tree also holds ordinary nested content.
set -e
rm -rf links
mkdir -p links/canary/full/sub links/canary/empty links/canary/nestedempty links/canary/topempty
echo keep > links/canary/full/keep.txt
echo deep > links/canary/full/sub/deep.txt
echo target > links/canary/target.txt
for name in folder empty file nested plain probe; do
  mkdir -p links/$name/sub/inner
  echo plain > links/$name/plain.txt
  echo inner > links/$name/sub/inner/file.txt
done
ln -s ../canary/full links/folder/link
ln -s ../canary/empty links/empty/link
ln -s ../canary/target.txt links/file/link.txt
ln -s ../../../canary/nestedempty links/nested/sub/inner/link
ln -s canary/topempty links/top
ln -s ../canary/full links/probe/folderlink
ln -s ../canary/target.txt links/probe/filelink.txt
# A link above the folder to delete: "data" -> another folder whose "setup"
# holds files, as when the per-user folder is made a link elsewhere.
mkdir -p links/abovecanary/setup/sub links/plaindata/setup/sub
echo keep > links/abovecanary/setup/keep.txt
echo deep > links/abovecanary/setup/sub/deep.txt
echo x > links/plaindata/setup/sub/file.txt
ln -s abovecanary links/data
