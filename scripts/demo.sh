#!/usr/bin/env bash
# The main job: builds the tools, then writes the List of Materials of the
# bundled demo project (build/examples/demo.dpz) joined with the bundled demo
# EID (build/examples/demo.eid) from the command line, and prints it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh release >/dev/null
bin=build/bin
out=${DEMO_OUT:-$PWD/build/demo}
mkdir -p "$out"

demo=build/examples
"$bin/ravederi" eid info "$demo/demo.eid"
echo
echo "Fields a List of Materials can show (project fields -P, EID fields -D):"
"$bin/ravederi" lom --list-fields --eid "$demo/demo.eid"
echo
# The main job: the demo project's parts joined with the demo EID, written as
# a tab-delimited List of Materials sorted by part, then shown.
"$bin/ravederi" lom --project "$demo/demo.dpz" --eid "$demo/demo.eid" \
  --field "Part-P" --field "Component Name-P" --field "Component Value-P" \
  --field "Description-D" --field "Manufacturer-D" --field "MfrPartNo-D" --field "Price-D" \
  --sort "Part-P" --delimiter TAB --out "$out/LOM.txt"
echo
tr -d '\r' < "$out/LOM.txt"

# The same parts grouped for an assembler (one line per code with quantity
# and designators) as CSV, and as a self-contained HTML page for a buyer.
echo
"$bin/ravederi" lom --project "$demo/demo.dpz" --eid "$demo/demo.eid" \
  --profile assembly --group --out "$out/LOM-assembly.csv"
"$bin/ravederi" lom --project "$demo/demo.dpz" --eid "$demo/demo.eid" \
  --profile buyer --group --out "$out/LOM-buyer.html"
head -n 8 "$out/LOM-assembly.csv"

# With a display, the editor itself opens on the demo project inside the
# small host program (DEMO_CLI=1 keeps to the command line).
if [ -z "${DEMO_CLI:-}" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  echo
  echo "Opening the editor on $demo/demo.dpz; the demo EID is $demo/demo.eid ..."
  exec "$bin/dodiv" --editor 0 "$demo/demo.dpz"
fi
