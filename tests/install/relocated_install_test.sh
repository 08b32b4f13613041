#!/usr/bin/env bash
# An installation works wherever its tree lies: installs the build into a
# temporary prefix, moves that tree elsewhere, and runs the moved programs
# with nothing of the build tree on any path: the command line's help and the
# demo LOM (which must equal the build tree's), the host's view of where the
# editor and its help are, and the editor loaded by the host.
set -euo pipefail
build=$(cd "$1" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/moved"
prefix=$work/moved
mkdir -p "$work/home" "$work/out"
chmod 700 "$work/home"

# Only the moved tree and the system: a clean environment, a folder of its
# own, the sanitizer settings of the run passed on.
run() {
  (cd "$work/out" && env -i PATH=/usr/bin:/bin HOME="$work/home" \
    XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache" XDG_DATA_HOME="$work/home/data" \
    XDG_RUNTIME_DIR="$work/home" \
    QT_QPA_PLATFORM=offscreen ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS} \
    ${LSAN_OPTIONS:+LSAN_OPTIONS=$LSAN_OPTIONS} ${UBSAN_OPTIONS:+UBSAN_OPTIONS=$UBSAN_OPTIONS} "$@")
}

# No program or library may name the build tree in its search path.
while IFS= read -r -d '' f; do
  if readelf -h "$f" >/dev/null 2>&1 && readelf -d "$f" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
    fail "$f searches the build tree: $(readelf -d "$f" | grep -E 'R(UN)?PATH')"
  fi
done < <(find "$prefix" -type f -print0)

run "$prefix/bin/ravederi" --help > "$work/help.txt" || fail "ravederi --help"
grep -q '^ravederi lom --project' "$work/help.txt" || fail "ravederi --help lists no lom command"

examples=$prefix/share/ravederi/examples
lom_args=(--field Part-P --field "Component Name-P" --field Price-D --delimiter TAB)
run env LD_DEBUG=libs "$prefix/bin/ravederi" lom --project "$examples/demo.dpz" --eid "$examples/demo.eid" \
  "${lom_args[@]}" --out "$work/out/LOM.txt" 2> "$work/ld.txt" || { cat "$work/ld.txt" >&2; fail "demo LOM"; }
! grep -F "$build" "$work/ld.txt" || fail "ravederi loaded a library of the build tree"
(cd "$work" && "$build/bin/ravederi" lom --project "$build/examples/demo.dpz" --eid "$build/examples/demo.eid" \
  "${lom_args[@]}" --out "$work/LOM-build.txt")
[ "$(wc -l < "$work/out/LOM.txt")" -gt 1 ] || fail "the demo LOM is empty"
cmp "$work/out/LOM.txt" "$work/LOM-build.txt" || fail "the moved tree's demo LOM differs from the build tree's"

run "$prefix/bin/dodiv" --help > "$work/dodiv-help.txt" || fail "dodiv --help"
library=$(sed -n 's/^Editor library: //p' "$work/dodiv-help.txt")
help=$(sed -n 's/^Help folder: //p' "$work/dodiv-help.txt")
case $library in "$prefix"/*/ravederi/libRavederi.so) ;; *) fail "dodiv looks for the editor at '$library'" ;; esac
[ "$help" = "$prefix/share/ravederi/help" ] || fail "dodiv looks for help in '$help'"
[ -f "$library" ] && [ -f "$help/Ravederi.HLP" ] || fail "the editor or its help is missing"
[ -f "$help/Ravederi.de.HLP" ] || fail "the German help is not beside the English one"

cp "$examples/demo.dpz" "$work/out/demo.dpz"
out=$(run env LD_DEBUG=libs "$prefix/bin/dodiv" --project "$work/out/demo.dpz" --load 0 --send RAVEDERI,EX \
  --notifications 2> "$work/ld.txt") || { cat "$work/ld.txt" >&2; fail "dodiv could not run the editor"; }
[ "$out" = "$(printf 'RAVEDERI\tSHUTDOWN')" ] || fail "dodiv printed '$out'"
grep -qF "$library" "$work/ld.txt" || fail "dodiv did not load $library"
! grep -F "$build" "$work/ld.txt" || fail "dodiv loaded a library of the build tree"
echo "relocated install: ok"
