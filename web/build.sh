#!/usr/bin/env bash
# Builds the page web/dist/relalg.html: the engine's sources (every src/*.cpp
# but the command line's main.cpp, src/engine/*.cpp and the formula writer,
# src/notation/*.cpp) and web/entry.cpp
# compiled with Emscripten into a
# module whose WebAssembly is inlined (build-web/relalg.js), then the page
# code bundled with CodeMirror and both written into one HTML file.
#
#   web/build.sh            build (objects are rebuilt only when out of date)
#
# Needs emcc (Debian's emscripten), node and the packages of web/package.json
# (installed here with `npm ci` when missing). BUILD_DIR (default build-web)
# holds the objects and the module.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
out=${BUILD_DIR:-build-web}
mkdir -p "$out/obj" web/dist

command -v emcc >/dev/null || { echo "web/build.sh: emcc not found; run tools/install-deps.sh" >&2; exit 1; }
# The packaged emcc runs its JavaScript optimizer under the machine's node,
# which finds the optimizer's parser (node-acorn) there.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
# The packaged library cache is complete and read-only; a user who cannot
# take its lock gets a private cache that links to the same libraries.
if [ ! -w /usr/share/emscripten/cache ] && [ -z "${EM_CACHE:-}" ]; then
  cache="$root/$out/em-cache"
  if [ ! -d "$cache/sysroot" ]; then
    mkdir -p "$cache/sysroot/lib/wasm32-emscripten"
    ln -sfn /usr/share/emscripten/cache/sysroot/include "$cache/sysroot/include"
    ln -sf /usr/share/emscripten/cache/sysroot/lib/wasm32-emscripten/* "$cache/sysroot/lib/wasm32-emscripten/"
    cp /usr/share/emscripten/cache/sysroot_install.stamp "$cache/"
  fi
  export EM_CACHE=$cache
fi

version=$(sed -n 's/^project(relalg VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# Exceptions carry the engine's failures to its one catch; bulk memory and
# SIMD let copies and scans run as single instructions.
cflags=(-std=c++20 -O3 -fexceptions -mbulk-memory -msimd128 -Wall -Wextra -Wpedantic
  -include web/compat.h -Isrc "'-DRELALG_VERSION=\"$version\"'")
# No threads: the engine's helpers then work on the one thread there is.
# Deep queries need a deep stack; the tables may take up to 4 GiB.
ldflags=(-O3 -fexceptions -sSINGLE_FILE=1 -sMODULARIZE=1 -sEXPORT_NAME=createRelalg
  -sENVIRONMENT=web,worker,node -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=128MB
  -sMAXIMUM_MEMORY=4GB -sTOTAL_STACK=64MB -sEXPORTED_RUNTIME_METHODS=HEAPU8
  -sEXPORTED_FUNCTIONS=_malloc,_free,_relalg_run,_relalg_status,_relalg_output,_relalg_output_size,_relalg_messages,_relalg_messages_size,_relalg_diagnostics,_relalg_diagnostics_size,_relalg_explain,_relalg_explain_size,_relalg_rows,_relalg_free,_relalg_formula)

shopt -s nullglob
# Every source but the command line's (src/main.cpp), whose place the
# page's entry point takes.
sources=()
for s in src/*.cpp src/engine/*.cpp src/notation/*.cpp; do [ "$s" = src/main.cpp ] || sources+=("$s"); done
sources+=(web/entry.cpp web/stack.cpp)
headers=(src/*.h src/engine/*.h src/notation/*.h web/compat.h)
newest_header=$(ls -t "${headers[@]}" | head -n 1)

# Object names keep the folder, so src/x.cpp and src/engine/x.cpp differ.
stale=()
objects=()
for s in "${sources[@]}"; do
  o="$out/obj/$(echo "${s%.cpp}" | tr / _).o"
  objects+=("$o")
  if [ ! -f "$o" ] || [ "$s" -nt "$o" ] || [ "$newest_header" -nt "$o" ] || [ "$0" -nt "$o" ]; then
    stale+=("$s" "$o")
  fi
done
# Objects of sources that are gone would stay out of the link anyway; clear
# them so the folder holds what was built.
for o in "$out"/obj/*.o; do
  case " ${objects[*]} " in *" $o "*) ;; *) rm -f "$o" ;; esac
done

if [ ${#stale[@]} -gt 0 ]; then
  echo "== emcc: compiling $(( ${#stale[@]} / 2 )) sources"
  printf '%s\n' "${cflags[@]}" >"$out/cflags.rsp"
  printf '%s\n' "${stale[@]}" | xargs -n 2 -P 2 sh -c 'em++ @"$0" -c "$1" -o "$2"' "$out/cflags.rsp" \
    || { echo "web/build.sh: compiling failed" >&2; exit 1; }
fi
if [ ! -f "$out/relalg.js" ] || [ -n "$(find "${objects[@]}" -newer "$out/relalg.js")" ] || [ "$0" -nt "$out/relalg.js" ]; then
  echo "== emcc: linking $out/relalg.js"
  em++ "${ldflags[@]}" "${objects[@]}" -o "$out/relalg.js"
fi

if [ ! -d web/node_modules/esbuild ] || [ web/package-lock.json -nt web/node_modules/.package-lock.json ]; then
  echo "== npm ci (web)"
  (cd web && npm ci --no-audit --no-fund --loglevel=error)
fi
node web/build-page.mjs "$out/relalg.js" examples web/dist/relalg.html
