#!/usr/bin/env bash
# The Windows download program under Wine against the Linux one: both fetch the
# same 1 GiB file from nginx on loopback, alternating, ROUNDS times each (default
# 3), into a temporary folder. Prints each run's wall time and, last,
#   win32/linux wall ratio: X
# (the median Windows run over the median Linux run). Needs build/novalink-get,
# build-win32/novalink-get.exe, nginx and Wine; uses a throw-away Wine prefix.
# SCHEME=https: the same over TLS, with a certificate of
# tests/common/make-test-certs.sh whose root both programs get with --cacert.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/nginx.sh
. scripts/lib/wine.sh
. scripts/lib/bench.sh
rounds=${ROUNDS:-3}
scheme=${SCHEME:-http}
for f in build/novalink-get build-win32/novalink-get.exe; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "missing $f: build both first" >&2; exit 1; }
done
bench_need nginx wine

work=$(mktemp -d)
nginx_pid=
trap 'stop_nginx; wine_stop "$work"; rm -rf "$work"' EXIT
wine_prefix "$work" || { echo "bench/download-win32.sh: wineboot could not make a prefix" >&2; exit 1; }
# A standing server, so that no run pays for starting it.
wineserver -p

mkdir -p "$work/www" "$work/nginx"
head -c $((1024 * 1024 * 1024)) /dev/zero | tr '\0' 'x' >"$work/www/big.bin"
chmod a+x "$work"
chmod -R a+rX "$work/www"
tls_linux=() tls_win=() listen= server_lines=
if [ "$scheme" = https ]; then
  sh tests/common/make-test-certs.sh "$work/certs" >/dev/null
  tls_linux=(--cacert "$work/certs/root.crt")
  tls_win=(--cacert "$(winepath -w "$work/certs/root.crt" 2>/dev/null | tr -d '\r')")
  listen=ssl
  server_lines="ssl_certificate $work/certs/good.pem; ssl_certificate_key $work/certs/good.key;"
fi
start_nginx "$work/nginx" "$work/www" "access_log off; sendfile on;" "$server_lines" / "$listen" ||
  { echo "bench/download-win32.sh: nginx did not start" >&2; exit 1; }
url="$scheme://127.0.0.1:$port/big.bin"
out_win=$(winepath -w "$work/out.bin" 2>/dev/null | tr -d '\r')

now() { date +%s.%N; }
linux=()
win=()
for i in $(seq 1 "$rounds"); do
  rm -f "$work/out.bin"
  t0=$(now); wine build-win32/novalink-get.exe "${tls_win[@]}" -o "$out_win" "$url" >/dev/null; t1=$(now)
  [ "$(stat -c %s "$work/out.bin")" -eq $((1024 * 1024 * 1024)) ] || { echo "win32 run $i: short file" >&2; exit 1; }
  win+=("$(echo "$t1 - $t0" | bc)")
  rm -f "$work/out.bin"
  t0=$(now); build/novalink-get "${tls_linux[@]}" -o "$work/out.bin" "$url" >/dev/null; t1=$(now)
  [ "$(stat -c %s "$work/out.bin")" -eq $((1024 * 1024 * 1024)) ] || { echo "linux run $i: short file" >&2; exit 1; }
  linux+=("$(echo "$t1 - $t0" | bc)")
  echo "round $i: win32 ${win[-1]} s, linux ${linux[-1]} s"
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
mw=$(median "${win[@]}")
ml=$(median "${linux[@]}")
echo "median: win32 $mw s, linux $ml s"
echo "win32/linux wall ratio: $(echo "scale=2; $mw / $ml" | bc)"
