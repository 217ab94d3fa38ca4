#!/usr/bin/env bash
# scripts/check-layers on a copy of the sources: it passes on them as they are, and refuses an
# include planted upward (a logic file including a window) and one planted sideways (between two
# file-format folders), naming each file and line.
set -euo pipefail
source_dir="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/docs" "$work/scripts"
cp -r "$source_dir/src" "$work/"
cp "$source_dir/docs/ARCHITECTURE.md" "$work/docs/"
cp "$source_dir/scripts/check-layers" "$work/scripts/"

"$work/scripts/check-layers" "$work" || { echo "check-layers refuses the sources as they are"; exit 1; }

sed -i '1a #include "score/score_page.h"' "$work/src/score/note_entry.cpp"
sed -i '1a #include "midifile/smf_import.h"' "$work/src/notation/musicxml_writer.cpp"
if out=$("$work/scripts/check-layers" "$work"); then
  echo "check-layers accepted planted includes"; exit 1
fi
echo "$out"
grep -q '^src/score/note_entry.cpp:2: includes "score/score_page.h" (pokopen_windows) from pokopen_logic: points up$' <<<"$out"
grep -q '^src/notation/musicxml_writer.cpp:2: .*points sideways$' <<<"$out"
[ "$(wc -l <<<"$out")" -eq 2 ]
