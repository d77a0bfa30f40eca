#!/usr/bin/env bash
# manpage-options.sh <program> <man page (troff)>
# Fails when the man page and the program's --help list different entries:
# option names ("-w", "--working-directory") and commands ("iff info|extract|build").
set -euo pipefail
program="$1"
page="$2"

# One name per line from entry texts such as "-w, --working-directory <folder>"
# or "iff info|extract|build".
names() {
  while IFS= read -r entry; do
    if [[ "$entry" == -* ]]; then
      grep -oE -- '(^|[ ,])--?[A-Za-z?][A-Za-z0-9-]*' <<<"$entry" | sed -E 's/^[ ,]//'
    else
      echo "$entry"
    fi
  done | sort -u
}

# In --help an entry is an indented line: an option, or a text followed by two
# blanks and its description (wrapped description lines have no such gap).
help_entries() {
  sed -nE 's/^[[:space:]]+//p' | while IFS= read -r line; do
    if [[ "$line" == -* || "$line" == *"  "* ]]; then
      echo "${line%%  *}"
    fi
  done
}

# help2man writes each entry as ".TP" and the entry on the next line, with
# font changes and "\-" for every dash.
page_entries() {
  sed -n '/^\.TP/{n;p}' "$page" | sed -E 's/\\f[BIRP]//g; s/\\[,/]//g; s/\\-/-/g'
}

help_names=$("$program" --help | help_entries | names)
page_names=$(page_entries | names)

if [ -z "$help_names" ]; then
  echo "manpage-options: $program --help lists no options or commands" >&2
  exit 1
fi
if [ "$help_names" != "$page_names" ]; then
  echo "manpage-options: $(basename "$page") and $(basename "$program") --help differ" >&2
  diff <(echo "$help_names") <(echo "$page_names") | sed -n 's/^</  only in --help:/p; s/^>/  only in the man page:/p' >&2
  exit 1
fi
echo "manpage-options: $(basename "$page") lists the $(echo "$help_names" | wc -l) entries of --help: $(echo "$help_names" | paste -sd, -)"
