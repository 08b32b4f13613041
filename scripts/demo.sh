#!/usr/bin/env bash
# The main job: builds the tools, then shows the editor's work on the bundled
# demo material. With a display it opens the editor on the demo project;
# without one it writes the demo List of Materials from the command line.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh release >/dev/null
bin=build/bin
out=${DEMO_OUT:-$PWD/build/demo}
mkdir -p "$out"

"$bin/ravederi" eid create "$out/Part.eid" --field Code:20 --field Name:40 --field Price:10 --eic Code
"$bin/ravederi" eid info "$out/Part.eid"
