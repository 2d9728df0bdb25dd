#!/usr/bin/env bash
# Gives a Linux program file the version information a Windows build carries:
# compiles a .rc file (with a VERSIONINFO resource) with windres, takes the
# VS_VERSIONINFO block out of the compiled resources, and stores it byte for byte
# in an ELF section named ".versioninfo" with objcopy.
#
#   scripts/add-versioninfo.sh VERSION.rc PROGRAM [OUTPUT]
#
# Without OUTPUT the program file is changed in place. A section of that name
# that is already there is replaced. WINDRES and OBJCOPY override the tools
# (default: the first of i686-w64-mingw32-windres, x86_64-w64-mingw32-windres and
# windres; objcopy).
set -euo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 VERSION.rc PROGRAM [OUTPUT]" >&2
  exit 2
fi
rc=$1 program=$2 output=${3:-$2}

windres=${WINDRES:-}
if [ -z "$windres" ]; then
  for w in i686-w64-mingw32-windres x86_64-w64-mingw32-windres windres; do
    if command -v "$w" >/dev/null 2>&1; then windres=$w; break; fi
  done
fi
[ -n "$windres" ] || { echo "$0: windres not found (install binutils-mingw-w64-i686)" >&2; exit 1; }
objcopy=${OBJCOPY:-objcopy}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$windres" -J rc -O res -i "$rc" -o "$tmp/version.res"

# A .res file is a row of entries, each a header (DataSize, HeaderSize, type,
# name, ...) followed by its data, every one aligned to 4 bytes. A type given as
# a number is stored as 0xFFFF and the number; RT_VERSION is 16.
u32() { od -An -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }
u16() { od -An -t u2 -j "$2" -N 2 "$1" | tr -d ' '; }
size=$(stat -c %s "$tmp/version.res")
pos=0 found=
while [ $((pos + 12)) -le "$size" ]; do
  data_size=$(u32 "$tmp/version.res" "$pos")
  header_size=$(u32 "$tmp/version.res" $((pos + 4)))
  if [ "$header_size" -lt 16 ] || [ $((pos + header_size + data_size)) -gt "$size" ]; then
    echo "$0: $tmp/version.res is damaged" >&2
    exit 1
  fi
  if [ "$(u16 "$tmp/version.res" $((pos + 8)))" = 65535 ] && [ "$(u16 "$tmp/version.res" $((pos + 10)))" = 16 ]; then
    dd if="$tmp/version.res" of="$tmp/versioninfo.bin" bs=1 skip=$((pos + header_size)) count="$data_size" status=none
    found=1
    break
  fi
  pos=$(( (pos + header_size + data_size + 3) / 4 * 4 ))
done
[ -n "$found" ] || { echo "$0: $rc has no VERSIONINFO resource" >&2; exit 1; }

"$objcopy" --remove-section .versioninfo \
  --add-section .versioninfo="$tmp/versioninfo.bin" \
  --set-section-flags .versioninfo=contents,readonly,noload \
  "$program" "$output"
