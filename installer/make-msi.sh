#!/usr/bin/env bash
# Builds the suite's MSI from installer/Corvane.wxs with wixl.
# Usage: make-msi.sh BIN_DIR VERSION OUTPUT.msi
#   BIN_DIR  a Windows build's program folder (build/win64/bin, build/win32/bin)
#   VERSION  major.minor.build, the package's ProductVersion and the "Version"
#            value it writes; normally the VERSION file's. The binaries keep
#            the version they were built with.
# The package's bitness follows the binaries' (their PE machine field).
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/lib.sh"
root=$ROOT
[ $# -eq 3 ] || { echo "usage: $0 BIN_DIR VERSION OUTPUT.msi" >&2; exit 2; }
bin=$(cd "$1" && pwd)
version=$2
out=$3

# Windows Installer's limits: major and minor at most 255, build at most 65535.
if ! [[ $version =~ ^([0-9]{1,3})\.([0-9]{1,3})\.([0-9]{1,5})$ ]] ||
   [ $((10#${BASH_REMATCH[1]})) -gt 255 ] || [ $((10#${BASH_REMATCH[2]})) -gt 255 ] ||
   [ $((10#${BASH_REMATCH[3]})) -gt 65535 ]; then
  echo "make-msi: version '$version' is not major.minor.build within 255.255.65535" >&2
  exit 2
fi

shipped=(Brindle.dll Harrowd.exe Vorlix.exe VXKBHook.dll Quillon.exe)
for f in "${shipped[@]}"; do
  [ -f "$bin/$f" ] || { echo "make-msi: $bin/$f is missing" >&2; exit 1; }
done

case $(pe_machine "$bin/Harrowd.exe") in
  8664) arch=x64 ;;
  014c) arch=x86 ;;
  *) echo "make-msi: $bin/Harrowd.exe is neither x86-64 nor x86" >&2; exit 1 ;;
esac
for f in "${shipped[@]}"; do
  if [ "$(pe_machine "$bin/$f")" != "$(pe_machine "$bin/Harrowd.exe")" ]; then
    echo "make-msi: $f is not of the same bitness as Harrowd.exe" >&2; exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The language table and the pictures, listed from the data folder: a picture
# added there ships without an edit here.
# Every component names its bitness through the variable Win64.
(cd "$root" && find data/StringTable data/Image -type f | LC_ALL=C sort) |
  wixl-heat -p data/ --directory-ref INSTALLDIR --var var.DataDir \
    --component-group DataFiles --win64 >"$work/DataFiles.wxs"

win64=no
[ $arch == x64 ] && win64=yes
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
# wixl finds sources only by paths relative to the folder it runs in.
ln -s "$bin" "$work/bin"
ln -s "$root/data" "$work/data"
(cd "$work" && wixl -a "$arch" -D Version="$version" -D Arch="$arch" -D Win64=$win64 -D BinDir=bin -D DataDir=data \
  -o "$out" "$here/Corvane.wxs" DataFiles.wxs)
