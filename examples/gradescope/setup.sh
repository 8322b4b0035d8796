#!/usr/bin/env bash
# Gradescope runs this once, as root, when it builds the autograder's image
# (/autograder/source holds the unpacked autograder zip): it installs the
# compilers and builds relalg from the sources packed under relalg/.
set -euo pipefail
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq cmake g++ make >/dev/null
cd /autograder/source/relalg
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DRELALG_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target relalg
