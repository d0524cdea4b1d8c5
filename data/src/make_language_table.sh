#!/usr/bin/env bash
# Builds data/StringTable/Language.ini from the UTF-8 sources in
# data/src/language/: each section is stored in its language's ANSI code page
# (the program reads the table with the narrow profile functions), lines end
# with CR LF. Run it after editing a source; the result is committed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../StringTable/Language.ini}

# Section (LANGID) and the code page its texts are stored in.
sections=(1033:CP1252 1042:CP949 1028:CP950)

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
for entry in "${sections[@]}"; do
  id=${entry%%:*} codepage=${entry#*:}
  iconv -f UTF-8 -t "$codepage" "$here/language/$id.ini" | sed 's/$/\r/' >>"$tmp"
done
mkdir -p "$(dirname "$out")"
chmod 644 "$tmp"
mv "$tmp" "$out"
trap - EXIT
