#!/usr/bin/env bash
# Every text the sources and forms show has a finished English translation: refreshes a copy
# of each .ts file from the code and fails, listing them, on texts that are new or unfinished.
#   TranslationsComplete.sh SOURCE_DIR LUPDATE
set -euo pipefail
source_dir=$1
export LUPDATE=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for ts in "$source_dir"/resources/translations/*.ts; do
  copy="$work/$(basename "$ts")"
  cp "$ts" "$copy"
  bash "$source_dir/scripts/update-translations.sh" "$copy" > /dev/null 2>&1
  if grep -q 'type="unfinished"' "$copy"; then
    echo "$(basename "$ts"): texts without a translation (run scripts/update-translations.sh and translate them):"
    grep -B2 'type="unfinished"' "$copy" | grep '<source>' | sed 's/^ */  /'
    status=1
  fi
done
exit $status
