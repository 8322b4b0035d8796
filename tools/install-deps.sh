#!/usr/bin/env bash
# Installs the Debian packages relalg needs to build and test, if missing:
# cmake and g++ to build; GoogleTest, Google Benchmark, clang and its
# sanitizer runtime, and python3 for the tests; for the page (web/):
# emscripten with node-acorn for its optimizer, node, and chromium for the
# browser tests (these without recommended packages), then the page's npm
# packages from web/package-lock.json; for the SQL tests, the sqlite3 shell,
# the PostgreSQL server and client, Node.js with npm, and the DuckDB package
# from tools/duckdb/package-lock.json. Uses sudo when not root.
set -euo pipefail
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v make >/dev/null || need+=(make)
command -v clang++ >/dev/null || need+=(clang)
command -v python3 >/dev/null || need+=(python3)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || need+=(libclang-rt-14-dev)
command -v sqlite3 >/dev/null || need+=(sqlite3)
command -v psql >/dev/null || need+=(postgresql-client)
ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1 || need+=(postgresql)
command -v node >/dev/null || need+=(nodejs)
command -v npm >/dev/null || need+=(npm)
web=()
command -v emcc >/dev/null || web+=(emscripten)
[ -f /usr/share/nodejs/acorn/package.json ] || web+=(node-acorn)
command -v node >/dev/null || web+=(nodejs)
command -v npm >/dev/null || web+=(npm)
[ -x /usr/bin/chromium ] || web+=(chromium)

if [ ${#need[@]} -gt 0 ] || [ ${#web[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "== installing: ${need[*]} ${web[*]}"
  $sudo apt-get update -qq
  if [ ${#need[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}" >/dev/null
  fi
  if [ ${#web[@]} -gt 0 ]; then
    # The page's tools may be missing on a machine without them in its
    # archive; the tests then say what they skip.
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${web[@]}" >/dev/null ||
      echo "== could not install all of: ${web[*]}"
  fi
fi

# The page's JavaScript packages, when the lock file is newer than them.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if command -v npm >/dev/null &&
  { [ ! -f "$root/web/node_modules/.package-lock.json" ] ||
    [ "$root/web/package-lock.json" -nt "$root/web/node_modules/.package-lock.json" ]; }; then
  echo "== npm ci (web)"
  (cd "$root/web" && npm ci --no-audit --no-fund --loglevel=error)
fi

# The DuckDB package of the SQL tests, likewise.
if command -v npm >/dev/null &&
  { [ ! -f "$root/tools/duckdb/node_modules/.package-lock.json" ] ||
    [ "$root/tools/duckdb/package-lock.json" -nt "$root/tools/duckdb/node_modules/.package-lock.json" ]; }; then
  echo "== npm ci (tools/duckdb)"
  (cd "$root/tools/duckdb" && npm ci --no-audit --no-fund --loglevel=error)
fi
