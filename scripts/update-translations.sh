#!/usr/bin/env bash
# Refreshes resources/translations/*.ts (or the .ts files given) from the sources and forms:
# new texts appear as unfinished entries to translate (with Qt Linguist or by hand); texts
# gone from the code are dropped. The build compiles the .ts files into the program.
# LUPDATE names the lupdate to use (default: the one on the PATH).
set -euo pipefail
files=()
for ts in "$@"; do files+=("$(realpath "$ts")"); done
cd "$(dirname "$0")/.."
[ ${#files[@]} -gt 0 ] || files=(resources/translations/*.ts)
for ts in "${files[@]}"; do
  "${LUPDATE:-lupdate}" -locations none -no-obsolete acquisition app convert device io platform receivers tools view resources/forms -ts "$ts"
done
