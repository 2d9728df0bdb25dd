#!/usr/bin/env bash
# The Windows download program under Wine against the Linux one: both fetch the
# same 1 GiB file from nginx on loopback, alternating, ROUNDS times each (default
# 3), into a temporary folder. Prints each run's wall time and, last,
#   win32/linux wall ratio: X
# (the median Windows run over the median Linux run). Needs build/novalink-get,
# build-win32/novalink-get.exe, nginx and Wine; uses a throw-away Wine prefix.
set -euo pipefail
export PATH="$PATH:/usr/local/sbin:/usr/sbin:/sbin"
cd "$(dirname "$0")/.."
. scripts/lib/nginx.sh
. scripts/lib/wine.sh
rounds=${ROUNDS:-3}
for f in build/novalink-get build-win32/novalink-get.exe; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "missing $f: build both first" >&2; exit 1; }
done

work=$(mktemp -d)
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
new_wine_prefix "$work" null
# A standing server, so that no run pays for starting it.
wineserver -p

mkdir -p "$work/www" "$work/nginx"
head -c $((1024 * 1024 * 1024)) /dev/zero | tr '\0' 'x' >"$work/www/big.bin"
chmod a+x "$work"
chmod -R a+rX "$work/www"
start_nginx "$work/nginx" "$work/www" "access_log off; sendfile on;" "" ||
  { echo "bench/download-win32.sh: nginx did not start" >&2; exit 1; }
url="http://127.0.0.1:$port/big.bin"
out_win=$(winepath -w "$work/out.bin" 2>/dev/null | tr -d '\r')

now() { date +%s.%N; }
linux=()
win=()
for i in $(seq 1 "$rounds"); do
  rm -f "$work/out.bin"
  t0=$(now); wine build-win32/novalink-get.exe -o "$out_win" "$url" >/dev/null; t1=$(now)
  [ "$(stat -c %s "$work/out.bin")" -eq $((1024 * 1024 * 1024)) ] || { echo "win32 run $i: short file" >&2; exit 1; }
  win+=("$(echo "$t1 - $t0" | bc)")
  rm -f "$work/out.bin"
  t0=$(now); build/novalink-get -o "$work/out.bin" "$url" >/dev/null; t1=$(now)
  [ "$(stat -c %s "$work/out.bin")" -eq $((1024 * 1024 * 1024)) ] || { echo "linux run $i: short file" >&2; exit 1; }
  linux+=("$(echo "$t1 - $t0" | bc)")
  echo "round $i: win32 ${win[-1]} s, linux ${linux[-1]} s"
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
mw=$(median "${win[@]}")
ml=$(median "${linux[@]}")
echo "median: win32 $mw s, linux $ml s"
echo "win32/linux wall ratio: $(echo "scale=2; $mw / $ml" | bc)"
