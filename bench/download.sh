#!/usr/bin/env bash
# Download speed of novalink-get against curl: nginx on a loopback port serves a
# 1 GiB file, and both programs fetch it fresh into the same file system, in
# alternating rounds. Prints each run, the medians of both, and as its last three
# lines the ratios novalink-get/curl of wall and CPU time (user+sys) and the peak
# resident memory of novalink-get.
#
# With "https" as third argument the same over TLS: nginx with a certificate of
# tests/common/make-test-certs.sh, both programs trusting its root (--cacert)
# and left to agree on the same protocol and cipher.
#
# Usage (from the repository root, after the build): bench/download.sh [ROUNDS] [MiB] [https]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/nginx.sh
. scripts/lib/bench.sh
rounds=${1:-5}
mib=${2:-1024}
scheme=${3:-http}

cmake -S . -B build >/dev/null
cmake --build build --target novalink-get bench_download_run -j"$(nproc)" >/dev/null
bench_need nginx curl

work=$(mktemp -d "${TMPDIR:-/tmp}/novalink-bench-XXXXXX")
nginx_pid=
trap 'stop_nginx; rm -rf "$work"' EXIT

mkdir -p "$work/www" "$work/logs"
head -c $((mib * 1024 * 1024)) /dev/urandom > "$work/www/big.bin"

tls=() listen= server_lines=
if [ "$scheme" = https ]; then
  sh tests/common/make-test-certs.sh "$work/certs" >/dev/null
  tls=(--cacert "$work/certs/root.crt")
  listen=ssl
  server_lines="ssl_certificate $work/certs/good.pem; ssl_certificate_key $work/certs/good.key;"
fi
start_nginx "$work" "$work/www" "access_log off; sendfile on; tcp_nopush on;" "$server_lines" / "$listen" ||
  { echo "bench/download.sh: nginx did not start" >&2; exit 1; }

url="$scheme://127.0.0.1:$port/big.bin"
out="$work/out.bin"
run() {  # name, command...: prints "name wall cpu rssKiB"
  local name=$1; shift
  rm -f "$out"
  sync
  read -r wall cpu rss code < <(build/bench/download_run "$@")
  [ "$code" = 0 ] || { echo "bench/download.sh: $name exited with $code" >&2; exit 1; }
  cmp -s "$out" "$work/www/big.bin" || { echo "bench/download.sh: $name wrote a different file" >&2; exit 1; }
  echo "$name $wall $cpu $rss"
}

results="$work/results"
: > "$results"
echo "$rounds rounds, $mib MiB from nginx on $scheme://127.0.0.1:$port"
for i in $(seq "$rounds"); do
  for who in novalink curl; do
    if [ "$who" = novalink ]; then
      line=$(run novalink-get build/novalink-get -q "${tls[@]}" -o "$out" "$url")
    else
      line=$(run curl curl -s "${tls[@]}" -o "$out" "$url")
    fi
    echo "$line" >> "$results"
    echo "round $i: $line"
  done
done

median() { bench_median "$results" "$@"; }
nw=$(median novalink-get 2); nc=$(median novalink-get 3); nr=$(median novalink-get 4)
cw=$(median curl 2); cc=$(median curl 3); cr=$(median curl 4)
echo "novalink-get: wall $nw s, cpu $nc s, peak rss $(awk -v r="$nr" 'BEGIN { printf "%.1f", r / 1024 }') MiB (medians)"
echo "curl:         wall $cw s, cpu $cc s, peak rss $(awk -v r="$cr" 'BEGIN { printf "%.1f", r / 1024 }') MiB (medians)"
awk -v a="$nw" -v b="$cw" 'BEGIN { printf "wall ratio: %.3f\n", a / b }'
awk -v a="$nc" -v b="$cc" 'BEGIN { printf "cpu ratio: %.3f\n", a / b }'
awk -v r="$nr" 'BEGIN { printf "peak rss MiB: %.1f\n", r / 1024 }'
