#!/usr/bin/env bash
# The whole road of an update against the same work done by hand. nginx on a
# loopback port serves a catalogue and a package of 256 MiB (by default); the
# installed product is a program file with a version resource, in a sandboxed
# registry and temporary folder.
#
#   novalink: `printf 'i\n' | NOVALINK_UI=text build/novalink`: the catalogue
#             check, the offer answered "i", the package downloaded into the
#             staging folder, put in place over the program file, the new
#             program started;
#   by hand:  curl for the catalogue and the package (into the same staging
#             folder), then cp onto the program file.
#
# They alternate for ROUNDS rounds, each from a freshly installed product and an
# empty staging folder. Then build/novalink in GTK under Xvfb, on a server that
# accepts and never answers, is watched for 10 s while its check window waits,
# and so is build-win32/novalink.exe under Wine on Xvfb (Wine's X11 driver, a
# throw-away prefix), when it has been built. The last four lines are
#   update wall ratio: X       median wall time, novalink / by hand
#   update peak rss MiB: Y     median peak resident memory of novalink (terminal)
#   gtk idle cpu s: Z          processor seconds novalink used in those 10 s
#   win32 idle cpu s: W        processor seconds novalink.exe's process used in
#                              its 10 s (Wine's own server aside)
#
# Usage (from the repository root): bench/update.sh [ROUNDS] [MiB]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/nginx.sh
. scripts/lib/product.sh
. scripts/lib/bench.sh
rounds=${1:-5}
mib=${2:-256}

cmake -S . -B build >/dev/null
targets=(novalink novalink-reg novalink-publish bench_download_run bench_silent_server)
cmake --build build --target "${targets[@]}" -j"$(nproc)" >/dev/null
bench_need nginx curl

work=$(mktemp -d "${TMPDIR:-/tmp}/novalink-bench-XXXXXX")
nginx_pid= silent_pid= silent_port= xvfb_pid=
cleanup() {
  for p in $nginx_pid $silent_pid; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  if [ -n "$xvfb_pid" ]; then kill -- "-$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  [ -d "$work/wine" ] && { WINEPREFIX=$work/wine/prefix wineserver -k 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

export NOVALINK_REGISTRY=$work/registry
export TMPDIR=$work/tmp
mkdir -p "$work/www/m_update" "$work/www/files" "$work/logs" "$NOVALINK_REGISTRY" "$TMPDIR" "$work/app"
reg=build/novalink-reg
program=$work/app/brightloom

# The package: a program that ends at once, padded to its size.
{ printf '#!/bin/sh\nexit 0\n'; head -c $((mib * 1024 * 1024 - 18)) /dev/urandom; } >"$work/www/files/Desktop.bin"
printf 'velto:{PLAIN}4061729385\n' >"$work/htpasswd"

start_nginx "$work" "$work/www" "access_log off; sendfile on; tcp_nopush on;" \
  "location /m_update/ { auth_basic \"update\"; auth_basic_user_file $work/htpasswd; }" ||
  { echo "bench/update.sh: nginx did not start" >&2; exit 1; }
server=http://127.0.0.1:$port
build/novalink-publish catalogue --package "$work/www/files/Desktop.bin" --version 2.01.0105 --edition Desktop \
  --download "$server/files/Desktop.bin" --readme "$server/news.html" -o "$work/www/m_update/blmnl.cfg" >/dev/null ||
  { echo "bench/update.sh: novalink-publish wrote no catalogue" >&2; exit 1; }

# The product 2.1.0.5: a copy of sleep(1) with a version resource.
product_rc "$work/version.rc"
scripts/add-versioninfo.sh "$work/version.rc" "$(command -v sleep)" "$work/product.orig"
"$reg" add 'HKLM\Software\Brightloom' /v Path /t REG_SZ /d "$program" /f >/dev/null
"$reg" add 'HKLM\Software\Brightloom' /v UpdateServer /t REG_SZ /d "$server" /f >/dev/null

fresh() {  # the old product installed, nothing staged, its pages out of the cache's way
  rm -rf "$TMPDIR/BLM_UPDATE" "$TMPDIR/blmnl.cfg"
  cp "$work/product.orig" "$program"
  sync
}
by_hand() {
  mkdir -p "$TMPDIR/BLM_UPDATE"
  curl -s -f -u velto:4061729385 -o "$TMPDIR/blmnl.cfg" "$server/m_update/blmnl.cfg"
  curl -s -f -o "$TMPDIR/BLM_UPDATE/BLMNL.PTX" "$server/files/Desktop.bin"
  cp "$TMPDIR/BLM_UPDATE/BLMNL.PTX" "$program"
}
export -f by_hand
export server program

run() {  # name, command...: prints "name wall cpu rssKiB"
  local name=$1; shift
  fresh
  read -r wall cpu rss code < <(printf 'i\n' | build/bench/download_run "$@")
  [ "$code" = 0 ] || { echo "bench/update.sh: $name exited with $code" >&2; exit 1; }
  cmp -s "$program" "$work/www/files/Desktop.bin" || { echo "bench/update.sh: $name left another program file" >&2; exit 1; }
  echo "$name $wall $cpu $rss"
}

results=$work/results
: >"$results"
echo "$rounds rounds, a $mib MiB package from nginx on 127.0.0.1:$port"
for i in $(seq "$rounds"); do
  for who in novalink by-hand; do
    if [ "$who" = novalink ]; then
      line=$(run novalink env NOVALINK_UI=text build/novalink)
    else
      line=$(run by-hand bash -c by_hand)
    fi
    echo "$line" >>"$results"
    echo "round $i: $line"
  done
done

median() { bench_median "$results" "$@"; }
nw=$(median novalink 2); nc=$(median novalink 3); nr=$(median novalink 4)
hw=$(median by-hand 2); hc=$(median by-hand 3)
echo "novalink: wall $nw s, cpu $nc s, peak rss $(awk -v r="$nr" 'BEGIN { printf "%.1f", r / 1024 }') MiB (medians)"
echo "by hand:  wall $hw s, cpu $hc s (medians)"

# ---- GTK, waiting on a server that never answers ---------------------------------
silent() {  # starts the server that never answers, once; sets silent_port
  [ -n "$silent_port" ] && return 0
  coproc SILENT { exec build/bench/silent_server; }
  silent_pid=$SILENT_PID
  read -r silent_port <&"${SILENT[0]}"
}
idle=n/a
if command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && [ -e build/novalink-gtk.so ]; then
  fresh
  silent
  "$reg" add 'HKLM\Software\Brightloom' /v UpdateServer /t REG_SZ /d "http://127.0.0.1:$silent_port" /f >/dev/null
  # xvfb-run in a process group of its own, so that it is stopped whole; it
  # runs a shell that starts novalink and measures it.
  setsid xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash -c '
    NOVALINK_UI=gtk build/novalink </dev/null >/dev/null 2>&1 &
    pid=$!
    timeout 60 xdotool search --sync --onlyvisible --name "^Novalink$" >/dev/null ||
      { echo "no window appeared" >&2; exit 1; }
    sleep 1
    cpu() { awk "{ print \$14 + \$15 }" "/proc/$pid/stat"; }
    a=$(cpu); sleep 10; b=$(cpu)
    { kill -0 "$pid" 2>/dev/null && [ -n "$a" ] && [ -n "$b" ]; } ||
      { echo "novalink ended while it should wait" >&2; exit 1; }
    kill -INT "$pid"; wait "$pid" 2>/dev/null || true
    awk -v a="$a" -v b="$b" -v t="$(getconf CLK_TCK)" "BEGIN { printf \"%.2f\n\", (b - a) / t }"
  ' >"$work/idle" 2>"$work/idle.err" &
  xvfb_pid=$!
  wait "$xvfb_pid" || true
  xvfb_pid=
  idle=$(tail -1 "$work/idle")
  [ -n "$idle" ] || { cat "$work/idle.err" >&2; idle=n/a; }
fi

# ---- Win32 under Wine, waiting on the same server ------------------------------------
win32=n/a
if command -v wine >/dev/null && command -v xvfb-run >/dev/null && command -v xdotool >/dev/null &&
  [ -f build-win32/novalink.exe ]; then
  silent
  mkdir -p "$work/wine"
  setsid xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash -c '
    . scripts/lib/wine.sh
    wine_prefix "$0" x11 || { echo "wineboot failed" >&2; exit 1; }
    wine reg add "HKLM\Software\Brightloom" /v UpdateServer /d "http://127.0.0.1:$1" /f >/dev/null 2>&1
    wine build-win32/novalink.exe </dev/null >/dev/null 2>&1 &
    timeout 60 xdotool search --sync --onlyvisible --name "^Novalink$" >/dev/null ||
      { echo "no window appeared" >&2; exit 1; }
    pid=$(pgrep -n -f "^build-win32/novalink\.exe")
    sleep 1
    cpu() { awk "{ print \$14 + \$15 }" "/proc/$pid/stat"; }
    a=$(cpu); sleep 10; b=$(cpu)
    { [ -n "$a" ] && [ -n "$b" ]; } || { echo "novalink.exe ended while it should wait" >&2; exit 1; }
    wineserver -k
    awk -v a="$a" -v b="$b" -v t="$(getconf CLK_TCK)" "BEGIN { printf \"%.2f\n\", (b - a) / t }"
  ' "$work/wine" "$silent_port" >"$work/win32" 2>"$work/win32.err" &
  xvfb_pid=$!
  wait "$xvfb_pid" || true
  xvfb_pid=
  win32=$(tail -1 "$work/win32")
  [ -n "$win32" ] || { cat "$work/win32.err" >&2; win32=n/a; }
fi

awk -v a="$nw" -v b="$hw" 'BEGIN { printf "update wall ratio: %.3f\n", a / b }'
awk -v r="$nr" 'BEGIN { printf "update peak rss MiB: %.1f\n", r / 1024 }'
echo "gtk idle cpu s: $idle"
echo "win32 idle cpu s: $win32"
