#!/bin/sh
# Makes the two release files from a finished Windows build of one target:
#   kelvarid-VERSION-portable.zip   kelvarid.exe, serline.dll, kelvarid-service.exe, kelvaridctl.exe, readme.txt
#   kelvarid-VERSION-setup.exe      the installer (packaging/kelvarid.nsi)
# The x86_64 target's files are named kelvarid-VERSION-portable-x64.zip and
# kelvarid-VERSION-setup-x64.exe.
# Usage: make-release.sh BINDIR OUTDIR VI_VERSION TARGET PRODUCT
# PRODUCT is the build's folder of shared names (cmake/product.cmake): the version and the
# files' names come from its product.env, the installer's names from product.nsh.
# Every file put into them gets the time SOURCE_DATE_EPOCH (the last commit's time where the
# tree is a Git checkout), so that one commit always gives the same zip.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
bindir=$1 vi_version=$3 target=$4 product=$5
. "$product/product.env"
version=$KELVARID_VERSION_TEXT
case "$target" in
    i686) kind_cz="32bitové sestavení: běží na 32bitových i 64bitových Windows." \
        kind_en="32-bit build: runs on 32-bit and 64-bit Windows." ;;
    x86_64) kind_cz="64bitové sestavení: běží jen na 64bitových Windows." \
        kind_en="64-bit build: runs on 64-bit Windows only." ;;
    *) echo "make-release.sh: no target '$target' (i686 or x86_64)" >&2; exit 2 ;;
esac
eval "setup_name=\$KELVARID_SETUP_NAME_$target zip_name=\$KELVARID_ZIP_NAME_$target"
first_port=${KELVARID_PORTS%% *} last_port=${KELVARID_PORTS##* }
mkdir -p "$2"
outdir=$(cd "$2" && pwd)

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 946684800)
fi
export TZ=UTC

stage="$outdir/stage"
rm -rf "$stage"
mkdir -p "$stage"
cp "$bindir/kelvarid.exe" "$bindir/serline.dll" "$bindir/kelvarid-service.exe" "$bindir/kelvaridctl.exe" "$stage/"
# Windows' Notepad, back to Windows 7, reads UTF-8 only with a byte-order mark and lines only
# with CR LF.
{ printf '\357\273\277'; sed -e "s/@VERSION@/$version/" -e "s/@SETUP@/$setup_name/" -e "s/@KIND_CZ@/$kind_cz/" -e "s/@KIND_EN@/$kind_en/" \
    -e "s/@FIRST_PORT@/$first_port/g" -e "s/@LAST_PORT@/$last_port/g" -e 's/$/\r/' "$here/readme.txt"; } >"$stage/readme.txt"
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*

zip_file="$outdir/$zip_name"
rm -f "$zip_file"
(cd "$stage" && zip -q -X -9 "$zip_file.part" kelvarid.exe serline.dll kelvarid-service.exe kelvaridctl.exe readme.txt)
mv "$zip_file.part" "$zip_file"

size_kb=$(( ($(stat -c %s "$stage/kelvarid.exe") + $(stat -c %s "$stage/serline.dll") + $(stat -c %s "$stage/kelvarid-service.exe") + $(stat -c %s "$stage/kelvaridctl.exe") + 1023) / 1024 + 64 ))
setup_file="$outdir/$setup_name"
makensis -V2 -NOCD \
    "-DVERSION=$version" "-DVI_VERSION=$vi_version" "-DARCH=$target" "-DBINDIR=$stage" \
    "-DICON=$root/platform/resources/kelvarid.ico" "-DSIZE_KB=$size_kb" "-DOUTFILE=$setup_file.part" \
    "-DPRODUCT_NSH=$product/product.nsh" \
    "$here/kelvarid.nsi"
mv "$setup_file.part" "$setup_file"
