#!/usr/bin/env bash
# The man pages keep step with the programs' --help: every command of
# `ravederi --help` and every option of either program is in its man page,
# and a man page names no option its program does not have.
set -euo pipefail
bin=$1
man_dir=$2
status=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A page as plain text, one paragraph per line (no wrapping, no hyphenation).
render() { groff -man -Tascii -P -cbou -rLL=5000n "$man_dir/$1" 2>/dev/null | sed 's/  */ /g'; }
options() { grep -oE -- '--[a-z][a-z-]*' | sort -u; }

# Compares the options of help $1 with page $2; extra options the page may
# name besides those of the help come after.
compare_options() {
  local help=$1 page=$2
  shift 2
  comm -23 <(options < "$help") <(options < "$page") > "$work/missing"
  comm -13 <({ options < "$help"; printf '%s\n' "$@"; } | sort -u) <(options < "$page") > "$work/unknown"
  while read -r o; do echo "FAIL: $o of --help is not in the man page ${page##*/}" >&2; status=1; done < "$work/missing"
  while read -r o; do echo "FAIL: the man page ${page##*/} names $o, which --help does not" >&2; status=1; done < "$work/unknown"
}

"$bin/ravederi" --help > "$work/ravederi.help"
render ravederi.1 > "$work/ravederi.1"
# Commands: "ravederi" and the lower-case words after it ("ravederi eid import-access").
grep -oE '^ravederi( [a-z][a-z-]*)+' "$work/ravederi.help" | sort -u > "$work/commands"
[ -s "$work/commands" ] || { echo "FAIL: no command found in ravederi --help" >&2; exit 1; }
while read -r command; do
  grep -qF -- "$command " "$work/ravederi.1" || { echo "FAIL: '$command' is not in ravederi.1" >&2; status=1; }
done < "$work/commands"
compare_options "$work/ravederi.help" "$work/ravederi.1" --help

XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=offscreen "$bin/dodiv" --help > "$work/dodiv.help"
render dodiv.1 > "$work/dodiv.1"
compare_options "$work/dodiv.help" "$work/dodiv.1"
exit $status
