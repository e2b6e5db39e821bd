#!/usr/bin/env bash
# Refreshes resources/translations/*.ts from the sources and forms: new texts appear as
# unfinished entries to translate (with Qt Linguist or by hand); texts gone from the code are
# dropped. The build compiles the .ts files into the program.
set -euo pipefail
cd "$(dirname "$0")/.."
for ts in resources/translations/*.ts; do
  lupdate -locations none -no-obsolete acquisition app device platform tools view resources/forms -ts "$ts"
done
