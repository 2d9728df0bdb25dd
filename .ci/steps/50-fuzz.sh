#!/usr/bin/env bash
# Fuzzes every fuzz target for a bounded time each (FUZZ_SECONDS, default 40, so
# that five targets take under four minutes) with libFuzzer, AddressSanitizer and
# UBSan. The targets are the files tests/<path>/<name>_fuzz.cpp, built by CMake
# with -DNOVALINK_FUZZ=ON (clang) in build-fuzz/. Each is seeded with the samples
# in <path>/<name>_seeds/ (a target without that folder, the version reader's, with
# the version fixtures of the normal build) and with the inputs it once failed on,
# kept in <path>/fuzz-regressions/<name>/. A crash, a hang or a broken promise of
# the probe fails the step; its input is copied to that folder so that it can be
# kept as a regression test.
set -euo pipefail
cd "$(dirname "$0")/../.."

out=build-fuzz
seconds=${FUZZ_SECONDS:-40}
fixtures=build/tests/support/fixtures
if [ ! -d "$fixtures" ]; then
  echo "fuzz: $fixtures is missing; build the tests first" >&2
  exit 1
fi

cmake -S . -B "$out" -DNOVALINK_FUZZ=ON -DNOVALINK_WERROR=ON -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_COMPILER=clang -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" --target fuzz_targets -j"$(nproc)"

# The profile target writes (and syncs) a file for every input: on a disk that
# costs far more than the parsing it tests, so its files go to memory when it can.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi

failed=0
while IFS= read -r src; do
  name=$(basename "$src" .cpp)
  dir=$(dirname "$src")
  bin="$out/fuzz/$name"
  [ -x "$bin" ] || continue  # a target for another platform
  corpus="$out/corpus/$name" artifacts="$out/artifacts/$name"
  rm -rf "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  regressions="$dir/fuzz-regressions/$name"
  if [ -d "$dir/${name}_seeds" ]; then
    seeds=("$dir/${name}_seeds"/*)
  else
    seeds=("$fixtures"/*.exe "$fixtures"/*.dll "$fixtures"/*.drv "$fixtures"/*.fon "$fixtures"/*.elf
           "$fixtures"/linux32.o "$fixtures"/*.txt)
  fi
  for f in "${seeds[@]}" "$regressions"/*; do
    [ -f "$f" ] && [ "${f##*.}" != md ] && cp "$f" "$corpus/seed-$(basename "$f")"
  done

  echo "== fuzz: $name for ${seconds}s"
  status=0
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" -print_final_stats=1 "$corpus" || status=$?
  if [ "$status" -ne 0 ]; then
    mkdir -p "$regressions"
    for a in "$artifacts"/*; do
      [ -f "$a" ] && cp "$a" "$regressions/" && echo "fuzz: kept $regressions/$(basename "$a")"
    done
    echo "fuzz: $name failed on a fuzz input (exit $status)" >&2
    failed=1
  else
    echo "fuzz: $name ran clean for ${seconds}s"
  fi
done < <(find tests -name '*_fuzz.cpp' | sort)

exit "$failed"
