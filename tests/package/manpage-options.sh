#!/usr/bin/env bash
# manpage-options.sh <program> <man page (troff)>
# Fails when the man page and the program's --help list different options.
set -euo pipefail
program="$1"
page="$2"

# The option names at the start of an option line: "-w, --working-directory <folder>".
names() {
  sed -E 's/^[[:space:]]+//; s/[[:space:]]{2,}.*$//' | { grep -oE -- '(^|[ ,])--?[A-Za-z?][A-Za-z0-9-]*' || true; } |
    sed -E 's/^[ ,]//' | sort -u
}

help_options=$("$program" --help | { grep -E '^[[:space:]]+-' || true; } | names)
# help2man writes each option line as ".TP" followed by the option in bold,
# with "\-" for every dash.
page_options=$(sed -n '/^\.TP/{n;p}' "$page" | sed -E 's/\\f[BIRP]//g; s/\\-/-/g' | { grep -E '^-' || true; } | names)

if [ -z "$help_options" ]; then
  echo "manpage-options: $program --help lists no options" >&2
  exit 1
fi
if [ "$help_options" != "$page_options" ]; then
  echo "manpage-options: $(basename "$page") and $(basename "$program") --help differ" >&2
  diff <(echo "$help_options") <(echo "$page_options") | sed 's/^</  --help only:/; s/^>/  man page only:/' >&2
  exit 1
fi
echo "manpage-options: $(basename "$page") lists the $(echo "$help_options" | wc -l) option names of --help"
