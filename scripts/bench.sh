#!/usr/bin/env bash
# One run of every benchmark, one after the other, for the README's table:
#   scripts/bench.sh [OUT.log]      (default build/bench.log)
# Each program prints the machine line and its ratios against a baseline it
# measures in the same run. The server benchmarks run against a throwaway
# cluster started here (scripts/pg-cluster.sh) and stopped at the end.
# Sizes are the goals' sizes where a goal names one (the 1,000,000-line
# server import alone takes about 8 minutes).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh release >/dev/null
bin=$PWD/build/bin
log=${1:-$PWD/build/bench.log}
work=$(mktemp -d)
cluster=$PWD/build/bench-pg
trap 'bash scripts/pg-cluster.sh stop "$cluster" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

run() {
  echo "==== $*"
  # The offscreen platform's notes on window hints say nothing about speed.
  local status=0
  (cd "$work" && "$@") 2>&1 | grep -v -e '^This plugin does not support' -e 'XDG_RUNTIME_DIR not set' \
    || status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] || echo "(exit status $status)"
  echo
}

bash scripts/pg-cluster.sh start "$cluster" 55490 >/dev/null
export PGPASSFILE=$cluster/pgpass
uri=$(bash scripts/pg-cluster.sh uri "$cluster")

{
  echo "bench.sh on $(git rev-parse --short HEAD), $(date -u '+%Y-%m-%d %H:%M UTC')"
  run "$bin/engine_bench" 200000
  run "$bin/eid_bench" 200000
  run "$bin/bench_textfile"
  run "$bin/kernel_parts_bench"
  run "$bin/lom_bench" 100000 1000000
  run "$bin/lom_bench" 10000 100000
  run "$bin/lom_bench" --group 100000 1000000
  run "$bin/lom_bench" --group 10000 100000
  run env QT_QPA_PLATFORM=offscreen "$bin/lom_wizard_bench"
  run env QT_QPA_PLATFORM=offscreen "$bin/lom_wizard_bench" --group
  run "$bin/kicad_netlist_bench"
  run "$bin/kicad_sch_bench"
  run "$bin/integrity_bench"
  run env QT_QPA_PLATFORM=offscreen "$bin/recedit_bench" 1000000 "$uri"
  run "$bin/server_bench" "$uri" 1000000
  run "$bin/lom_bench" --server "$uri" 100000 1000000
  run "$bin/lom_bench" --server "$uri" 10000 100000
  run "$bin/server_load" "$uri" 16 60
  run "$bin/kill_bench" 5
  # Against KiBoM where it is found ($KIBOM_DIR or shared/peers/kibom beside
  # the source tree); our times alone otherwise.
  run "$bin/kicad_bench" 1000 10000
} | tee "$log"
