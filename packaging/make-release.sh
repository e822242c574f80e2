#!/bin/sh
# Makes the two release files from a finished Windows build:
#   kelvarid-VERSION-portable.zip   kelvarid.exe, serline.dll and readme.txt
#   kelvarid-VERSION-setup.exe      the installer (packaging/kelvarid.nsi)
# Usage: make-release.sh BINDIR OUTDIR VERSION VI_VERSION
# Every file put into them gets the time SOURCE_DATE_EPOCH (the last commit's time where the
# tree is a Git checkout), so that one commit always gives the same zip.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
bindir=$1 version=$3 vi_version=$4
mkdir -p "$2"
outdir=$(cd "$2" && pwd)

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 946684800)
fi
export TZ=UTC

stage="$outdir/stage"
rm -rf "$stage"
mkdir -p "$stage"
cp "$bindir/kelvarid.exe" "$bindir/serline.dll" "$stage/"
# Windows' Notepad, back to Windows 7, reads UTF-8 only with a byte-order mark and lines only
# with CR LF.
{ printf '\357\273\277'; sed 's/$/\r/' "$here/readme.txt"; } >"$stage/readme.txt"
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*

zip_file="$outdir/kelvarid-$version-portable.zip"
rm -f "$zip_file"
(cd "$stage" && zip -q -X -9 "$zip_file.part" kelvarid.exe serline.dll readme.txt)
mv "$zip_file.part" "$zip_file"

size_kb=$(( ($(stat -c %s "$stage/kelvarid.exe") + $(stat -c %s "$stage/serline.dll") + 1023) / 1024 + 64 ))
setup_file="$outdir/kelvarid-$version-setup.exe"
makensis -V2 -NOCD \
    "-DVERSION=$version" "-DVI_VERSION=$vi_version" "-DBINDIR=$stage" \
    "-DICON=$root/platform/resources/kelvarid.ico" "-DSIZE_KB=$size_kb" "-DOUTFILE=$setup_file.part" \
    "$here/kelvarid.nsi"
mv "$setup_file.part" "$setup_file"
