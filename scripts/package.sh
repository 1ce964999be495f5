#!/usr/bin/env bash
# Packs the download: the exe and the user guide as readme.txt in code page
# 932 with CR LF line ends, which every Japanese Windows editor opens. Fixed
# dates and permissions make the same inputs give the same zip; ZIP.sha256
# beside it holds the sum in sha256sum's format, so that
# `sha256sum -c mabiru-setup-*.zip.sha256` checks it in that folder.
set -euo pipefail
exe=$1 guide=$2 zip=$3

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/mabiru-setup.exe"
iconv -f UTF-8 -t CP932 "$guide" | sed 's/$/\r/' >"$stage/readme.txt"
chmod 644 "$stage"/*
TZ=UTC touch -d '2000-01-01 00:00:00' "$stage"/*

mkdir -p "$(dirname "$zip")"
zip=$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")
rm -f "$zip" "$zip.sha256"
(cd "$stage" && TZ=UTC zip -q -X "$zip" mabiru-setup.exe readme.txt)
(cd "$(dirname "$zip")" && sha256sum "$(basename "$zip")" >"$(basename "$zip").sha256")
echo "package: $zip"
unzip -l "$zip"
cat "$zip.sha256"
