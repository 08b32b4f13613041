#!/usr/bin/env bash
# The desktop entry and the AppStream data validate, the MIME types build a
# MIME database, and their magic (the SQLite application id at byte 68)
# matches what the build's demo EID and project really carry.
set -euo pipefail
packaging=$1
examples=$2
status=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

desktop-file-validate "$packaging/org.ravederi.Ravederi.desktop" || status=1
appstreamcli validate --no-net "$packaging/org.ravederi.Ravederi.metainfo.xml" >/dev/null ||
  { appstreamcli validate --no-net "$packaging/org.ravederi.Ravederi.metainfo.xml"; status=1; }

mkdir -p "$work/mime/packages"
cp "$packaging/ravederi-mime.xml" "$work/mime/packages/ravederi.xml"
XDG_DATA_DIRS=$work update-mime-database "$work/mime" || status=1
for pair in eid:demo.eid project:demo.dpz; do
  type=application/x-ravederi-${pair%%:*}
  file=$examples/${pair#*:}
  [ -f "$work/mime/application/x-ravederi-${pair%%:*}.xml" ] || { echo "FAIL: $type not built" >&2; status=1; }
  magic=$(awk -v t="$type" '/<mime-type / { on = index($0, "\"" t "\"") > 0 }
    on && /type="big32"/ { match($0, /value="0x[0-9a-fA-F]+"/); print tolower(substr($0, RSTART + 7, RLENGTH - 8)) }' \
    "$packaging/ravederi-mime.xml")
  actual=0x$(od -An -tx1 -j68 -N4 "$file" | tr -d ' \n')
  [ "$(head -c 15 "$file")" = "SQLite format 3" ] || { echo "FAIL: $file is not SQLite" >&2; status=1; }
  [ "$magic" = "$actual" ] || { echo "FAIL: $type expects application id '$magic', $file has $actual" >&2; status=1; }
done
exit $status
