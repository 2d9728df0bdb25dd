#!/usr/bin/env bash
# Fuzzes the version-resource reader for a bounded minute with libFuzzer (clang,
# AddressSanitizer and UBSan), seeded with the real fixtures of the normal build.
# A crash fails the step; its input is copied to tests/support/fuzz-regressions/
# so that it can be kept as a regression test.
set -euo pipefail
cd "$(dirname "$0")/../.."

out=build-fuzz
mkdir -p "$out/corpus" "$out/artifacts"
seconds=${FUZZ_SECONDS:-60}

clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I. \
  tests/support/version_fuzz.cpp tests/common/VersionProbe.cpp \
  platform/posix/MemorySource.cpp platform/posix/FileSource.cpp \
  platform/posix/PeImage.cpp platform/posix/ElfImage.cpp \
  platform/posix/VersionBlock.cpp platform/posix/VersionResource.cpp \
  platform/posix/Utf16.cpp platform/posix/VersionInfo.cpp platform/posix/Errors.cpp \
  -o "$out/version_fuzz"

fixtures=build/tests/support/fixtures
if [ ! -d "$fixtures" ]; then
  echo "fuzz-version: $fixtures is missing; build the tests first" >&2
  exit 1
fi
for f in "$fixtures"/*.exe "$fixtures"/*.dll "$fixtures"/*.drv "$fixtures"/*.fon "$fixtures"/*.elf "$fixtures"/linux32.o \
         "$fixtures"/*.txt tests/support/fuzz-regressions/*; do
  [ -f "$f" ] && [ "${f##*.}" != md ] && cp "$f" "$out/corpus/seed-$(basename "$f")"
done

status=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$out/version_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$out/artifacts/" -print_final_stats=1 "$out/corpus" || status=$?

if [ "$status" -ne 0 ]; then
  for a in "$out"/artifacts/*; do
    [ -f "$a" ] && cp "$a" tests/support/fuzz-regressions/ && echo "fuzz-version: kept $(basename "$a")"
  done
  echo "fuzz-version: the reader failed on a fuzz input (exit $status)" >&2
  exit 1
fi
echo "fuzz-version: ran clean for ${seconds}s"
