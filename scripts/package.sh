#!/usr/bin/env bash
# Packs the download: the exe and the user guide as readme.txt in code page
# 932 with CR LF line ends, which every Japanese Windows editor opens.
set -euo pipefail
exe=$1 guide=$2 zip=$3

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/mabiru-setup.exe"
iconv -f UTF-8 -t CP932 "$guide" | sed 's/$/\r/' >"$stage/readme.txt"
touch -d '2000-01-01 00:00:00' "$stage"/*

mkdir -p "$(dirname "$zip")"
rm -f "$zip"
(cd "$stage" && zip -q -X "$zip" mabiru-setup.exe readme.txt)
echo "package: $zip"
unzip -l "$zip"
