#!/usr/bin/env bash
# Builds the shipping (32-bit) Setup.exe, runs it silently under Wine on the sample
# medium in samples/medium, and prints its exit code and its log.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset x86 >/dev/null
cmake --build --preset x86 >/dev/null

build=build/x86
medium=$build/sample/medium
rm -rf "$build/sample"
mkdir -p "$medium"
cp -r samples/medium/. "$medium/"
cp "$build/bin/Setup.exe" "$build/bin/VerBridge.dll" "$medium/"

state=$PWD/$build/sample/wine
sh tests/wine/session.sh start "$state" >/dev/null
trap 'sh tests/wine/session.sh stop "$state" >/dev/null' EXIT
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=":$(cat "$state/display")"
[ -n "${LC_ALL:-}" ] || export LC_ALL=C.UTF-8

wine "$build/bin/launcher.exe" --env 'TMP=C:\sample' --env 'TEMP=C:\sample' -- \
    "Z:$(realpath "$medium" | tr / '\\')\\Setup.exe" /s "$@"
echo "--- C:\\sample\\PatchInstaller.Log"
iconv -f latin1 -t utf-8 "$WINEPREFIX/drive_c/sample/PatchInstaller.Log"
