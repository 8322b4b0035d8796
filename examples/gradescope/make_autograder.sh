#!/usr/bin/env bash
# Packs a Gradescope autograder zip:
#
#   examples/gradescope/make_autograder.sh EXERCISES [ZIP]
#
# EXERCISES is a folder of exercises as `relalg --grade` reads it (see
# examples/grading/exercises). ZIP (default autograder.zip) holds setup.sh
# and run_autograder at its top, the sources of relalg (this checkout's
# HEAD) under relalg/, and the exercises under exercises/. Upload it as the
# assignment's autograder ("Zip file upload").
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exercises=${1:?usage: make_autograder.sh EXERCISES [ZIP]}
zip=$(realpath -m "${2:-autograder.zip}")
[ -d "$exercises" ] || { echo "make_autograder.sh: '$exercises' is not a folder" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$here/setup.sh" "$here/run_autograder" "$tmp/"
mkdir "$tmp/relalg"
git -C "$(git -C "$here" rev-parse --show-toplevel)" archive HEAD | tar -x -C "$tmp/relalg"
cp -R "$exercises" "$tmp/exercises"
rm -f "$zip"
(cd "$tmp" && python3 -m zipfile -c "$zip" setup.sh run_autograder relalg exercises)
echo "wrote $zip"
