#!/bin/sh
# Builds and runs every test (the bench node-count check among them): a Release build,
# then an ASan+UBSan build.
# KESTREL_SKIP_SANITIZE=1 skips the sanitizer pass; KESTREL_TSAN=1 adds a TSan pass over
# the tests that run several threads (parallel search, USI sessions, search tests).
set -e
cd "$(dirname "$0")/.."
./scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" </dev/null)
if [ "${KESTREL_SKIP_SANITIZE:-0}" != 1 ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_SANITIZE=ON >/dev/null
  cmake --build build-asan -j"$jobs"
  (cd build-asan && ASAN_OPTIONS=allocator_may_return_null=1 KESTREL_SANITIZED=1 ctest --output-on-failure -j"$jobs" </dev/null)
fi
if [ "${KESTREL_TSAN:-0}" = 1 ]; then
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_TSAN=ON >/dev/null
  cmake --build build-tsan -j"$jobs"
  (cd build-tsan && TSAN_OPTIONS=allocator_may_return_null=1 KESTREL_SANITIZED=1 \
    ctest --output-on-failure -j"$jobs" -R 'Parallel|UsiSession|Search|Engines' </dev/null)
fi
