#!/usr/bin/env bash
# Builds and runs the socket benchmark: CSocket's receive throughput against a
# plain blocking recv loop over loopback (1 GiB a run, alternating rounds), and
# the CPU an idle connection costs. Run from the repository root after the build.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/CMakeCache.txt ] || cmake -S . -B build >/dev/null
cmake --build build --target bench_socket -j"$(nproc)" >/dev/null
exec build/bench/socket "${1:-1024}" "${2:-7}"
