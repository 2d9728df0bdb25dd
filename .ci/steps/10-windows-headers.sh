#!/usr/bin/env bash
# Compiles the platform interface and the product code for Windows without
# building it: each platform/*.h after <windows.h>, and every product source
# outside platform/ the same way, with the i686 mingw-w64 compiler. A name the
# system headers turn into a macro, or an operating-system header outside
# platform/, fails the step.
set -euo pipefail
cd "$(dirname "$0")/../.."

cxx=${MINGW_CXX:-i686-w64-mingw32-g++}
if ! command -v "$cxx" >/dev/null; then
  echo "windows-headers: $cxx not found (package g++-mingw-w64-i686)" >&2
  exit 1
fi

failed=0
check() {
  local file=$1
  if ! printf '#include <windows.h>\n#include "%s"\n' "$file" |
       "$cxx" -std=c++20 -fsyntax-only -I. -x c++ - 2>"$tmp/err"; then
    echo "windows-headers: $file does not compile after <windows.h>:" >&2
    sed 's/^/  /' "$tmp/err" >&2
    failed=$((failed + 1))
  fi
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

count=0
for h in platform/*.h; do
  check "$h"
  count=$((count + 1))
done
while IFS= read -r f; do
  check "$f"
  count=$((count + 1))
done < <(find support controls net http app tools \( -name '*.h' -o -name '*.cpp' \) 2>/dev/null | sort)

if [ "$failed" -ne 0 ]; then
  echo "windows-headers: $failed of $count files failed" >&2
  exit 1
fi
echo "windows-headers: $count files compile after <windows.h>"
