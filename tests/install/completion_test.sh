#!/usr/bin/env bash
# bash completion of ravederi, on the built program and the demo EID: each
# case is a command line (the last word being completed) and words the
# completion must offer; a word prefixed "!" must not be offered.
set -uo pipefail
program=$1
eid=$2
source "$3"
status=0
check() {
  local line=$1
  shift
  eval "COMP_WORDS=($line)"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_WORDS[0]=$program
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _ravederi
  local offered=" ${COMPREPLY[*]} " want
  for want in "$@"; do
    if [[ $want == !* ]]; then
      [[ $offered != *" ${want#!} "* ]] && continue
    else
      [[ $offered == *" $want "* ]] && continue
    fi
    echo "FAIL: '$line' offered:$offered(wanted $want)" >&2
    status=1
  done
}
check "ravederi " eid lom project check suggest
check "ravederi eid im" import import-access '!export'
check "ravederi eid " create remove '!--trim'
check "ravederi eid import x.eid x.txt --" --trim --overwrite --range '!--eic' '!--to-end'
check "ravederi eid export x.eid x.txt --" --to-end --sort '!--trim'
check "ravederi lom " diff --project --list-profiles
check "ravederi lom --li" --list-fields --list-profiles '!diff'
check "ravederi lom --project p.dpz --eid '$eid' --field Comp" 'Component\ Name-P' 'Component\ Value-P' '!Part-P'
check "ravederi lom --eid '$eid' --sort '\"Comp'" '"Component Name-P'
check "ravederi lom --eid '$eid' --group-by Pri" Price-D
check "ravederi lom --profile " assembly buyer
check "ravederi lom --format " text csv xlsx html
check "ravederi lom --dnp " include exclude separate
check "ravederi check --format " text csv json '!xlsx'
check "ravederi lom --delimiter " TAB SPACE
check "ravederi project from-kicad n.xml o.dpz --n" --normalise-values '!--json'
check "ravederi suggest --" --project --eid --top --apply-above --dry-run
exit $status
