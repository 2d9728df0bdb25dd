#!/usr/bin/env bash
# Installs what the build and the tests need, builds (the tests too:
# BUILD_TESTING), and runs every test: the
# suite in a normal build, the suite again under AddressSanitizer and UBSan, then
# the extra steps in .ci/steps/ (fuzzing and the like).
set -euo pipefail
# nginx lives in /usr/sbin, which a non-login root shell may not have on its PATH.
export PATH="$PATH:/usr/local/sbin:/usr/sbin:/sbin"
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

# For /usr: .ci/steps/20-package.sh makes its .deb from this build.
cmake -S . -B build -DNOVALINK_WERROR=ON -DBUILD_TESTING=ON -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure

cmake -S . -B build-asan -DNOVALINK_WERROR=ON -DBUILD_TESTING=ON -DNOVALINK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure

for step in .ci/steps/*.sh; do
  [ -e "$step" ] || continue
  echo "== $step"
  "$step"
done
echo "All tests passed."
