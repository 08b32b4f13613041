#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for
# SECONDS (default 20), starting from the seeds in fuzz/corpus/<target>/.
# `scripts/fuzz.sh 300 dpz kicad` runs only those targets. New inputs go to
# build-fuzz/corpus/, crashing inputs to build-fuzz/crashes/<target>/; the
# script fails when any target crashed. A summary table (executions and
# crashes per target) is printed at the end and kept in
# build-fuzz/fuzz-summary.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
case "$seconds" in ''|*[!0-9]*) echo "usage: $0 [SECONDS] [TARGET...]" >&2; exit 2 ;; esac
bash scripts/install-deps.sh
opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DRAVEDERI_FUZZ=ON -DRAVEDERI_TESTS=OFF -DRAVEDERI_BENCH=OFF)
if command -v ccache >/dev/null; then
  opts+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja "${opts[@]}" >/dev/null
cmake --build build-fuzz --target fuzz_all -j "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for d in fuzz/corpus/*/; do targets+=("$(basename "$d")"); done
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
summary=build-fuzz/fuzz-summary.txt
printf '| target | seconds | executions | crashes |\n|---|---|---|---|\n' >"$summary"
failed=0 crashes_total=0
for t in "${targets[@]}"; do
  program=build-fuzz/bin/fuzz_$t
  [ -x "$program" ] || { echo "fuzz.sh: no target $t" >&2; exit 2; }
  work=build-fuzz/corpus/$t crashes=build-fuzz/crashes/$t log=build-fuzz/fuzz-$t.log
  mkdir -p "$work" "$crashes"
  echo "== fuzz $t (${seconds}s)"
  status=0
  "$program" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$crashes/" "$work" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  [ -n "$runs" ] || runs=$(grep -o 'Done [0-9]* runs' "$log" | tail -1 | tr -dc 0-9)
  crashed=0
  if [ "$status" -ne 0 ]; then
    crashed=1 failed=1 crashes_total=$((crashes_total + 1))
    tail -40 "$log" >&2
    echo "fuzz.sh: $t crashed; input kept in $crashes/" >&2
  fi
  echo "| $t | $seconds | ${runs:-0} | $crashed |" >>"$summary"
done
cat "$summary"
echo "fuzz: $(( ${#targets[@]} - crashes_total )) passed, $crashes_total failed"
exit "$failed"
