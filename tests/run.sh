#!/usr/bin/env bash
# Builds relalg twice (Release, and ASan+UBSan) and runs every test on both:
# unit tests and end-to-end cases through ctest, then the page's tests (the
# WebAssembly build byte for byte against the Release binary, and the page in
# Chromium), the SQL translation on the three database engines (Release
# only), then the stress script, then each fuzz target for FUZZ_SECONDS
# (default 60; 0 skips fuzzing).
# Installs missing Debian packages first when it can.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

tools/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

echo "== Release build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DRELALG_TESTS=ON -DRELALG_BENCH=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure

echo "== web: WebAssembly build and page (web/build.sh)"
if command -v emcc >/dev/null && command -v node >/dev/null && [ -d web/node_modules/esbuild ]; then
  web/build.sh
  RELALG=build/relalg node --test tests/web/units.test.mjs tests/web/compare.test.mjs tests/notation/render.test.mjs
  if [ -x "${CHROMIUM:-/usr/bin/chromium}" ]; then
    node --test tests/web/page.test.mjs
  else
    echo "== web: browser tests SKIPPED: Chromium could not be installed here"
  fi
else
  echo "== web: SKIPPED: emscripten, node or the npm packages of web/ could not be installed here"
fi

echo "== SQL on SQLite, PostgreSQL and DuckDB"
tests/sql/run.sh build

echo "== ASan+UBSan build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRELALG_TESTS=ON \
  -DRELALG_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure

echo "== stress"
tests/stress/run.sh build/relalg build/tests/reference/relalg_ref

if [ "${FUZZ_SECONDS:-60}" != 0 ]; then
  echo "== fuzz (${FUZZ_SECONDS:-60} s per target)"
  fuzz/run.sh "${FUZZ_SECONDS:-60}"
fi
echo "== all tests passed"
