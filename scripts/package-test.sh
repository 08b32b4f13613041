#!/usr/bin/env bash
# Installs the Debian package on this machine as a user would, checks it and
# removes it again, leaving the machine as it was:
#   lintian (errors fail, warnings are listed), desktop-file-validate and
#   appstreamcli on the installed files; `apt-get install ./ravederi_*.deb`;
#   as an unprivileged user, in a fresh folder with nothing of the build on
#   any path: `ravederi --help`, the demo LOM, the host loading the editor,
#   bash completion; the MIME types registered; then `apt-get remove` and
#   `purge` must leave no file of the package, and no file that names it,
#   behind. Packages apt pulled in for it are purged too.
# Usage: scripts/package-test.sh [PACKAGE.deb | BUILD_DIR]
#   without an argument scripts/package.sh builds the package in build-deb/;
#   with a build folder (such as build/) it packs that build.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "package-test: run as root (it installs a package)" >&2; exit 2; }
start=$SECONDS
deb=${1:-}
if [ -z "$deb" ] || [ -d "$deb" ]; then
  deb=$(bash scripts/package.sh ${deb:+"$deb"} | tail -n 1)
  echo "package built in $((SECONDS - start)) s: $deb"
fi
deb=$(realpath "$deb")
if dpkg-query -W -f='${Status}' ravederi 2>/dev/null | grep -q 'ok installed'; then
  echo "package-test: ravederi is already installed here; not touching it" >&2
  exit 2
fi

work=$(mktemp -d)
chmod 755 "$work"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
export DEBIAN_FRONTEND=noninteractive

# What the machine holds before: packages, and files outside the places that
# change on their own (logs, caches, apt's and dpkg's own records).
snapshot() {
  find /usr /etc /opt /var -xdev \( -path /var/log -o -path /var/cache -o -path /var/lib/dpkg \
    -o -path /var/lib/apt -o -path /var/tmp \) -prune -o -print 2>/dev/null | sort
}
installed_packages() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | sort; }
installed_packages > "$work/packages.before"
snapshot > "$work/files.before"

cleanup() {
  if dpkg-query -W -f='${Status}' ravederi 2>/dev/null | grep -q 'installed'; then
    apt-get purge -y -qq ravederi >/dev/null 2>&1 || dpkg --purge ravederi >/dev/null 2>&1 || true
  fi
  if [ -f "$work/pulled-in" ] && [ -s "$work/pulled-in" ]; then
    xargs apt-get purge -y -qq < "$work/pulled-in" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== lintian"
t=$SECONDS
lintian --tag-display-limit 0 "$deb" > "$work/lintian.txt" 2>&1 || true
grep -E '^[EWIP]: ' "$work/lintian.txt" | sed 's/^/  /' || echo "  no tags"
grep -q '^E: ' "$work/lintian.txt" && fail "lintian reports errors"
echo "lintian took $((SECONDS - t)) s"

echo "== install"
t=$SECONDS
apt-get install -y -qq "$deb" > "$work/apt.txt" 2>&1 || { cat "$work/apt.txt" >&2; fail "apt-get install"; exit 1; }
installed_packages > "$work/packages.installed"
comm -13 "$work/packages.before" "$work/packages.installed" | grep -vx ravederi > "$work/pulled-in" || true
[ -s "$work/pulled-in" ] && echo "apt pulled in: $(tr '\n' ' ' < "$work/pulled-in")"
dpkg -L ravederi | sort > "$work/package-files"

desktop=/usr/share/applications/org.ravederi.Ravederi.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
appstreamcli validate --no-net /usr/share/metainfo/org.ravederi.Ravederi.metainfo.xml > "$work/as.txt" 2>&1 ||
  { cat "$work/as.txt" >&2; fail "appstreamcli validate"; }
[ -f /usr/share/mime/application/x-ravederi-eid.xml ] && [ -f /usr/share/mime/application/x-ravederi-project.xml ] ||
  fail "the MIME types were not registered"

# As a user: nobody, in a folder of its own, only the system's paths.
home=$work/home
mkdir -p "$home"
chown nobody "$home"
chmod 700 "$home"
as_user() {
  (cd "$home" && setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home" QT_QPA_PLATFORM=offscreen "$@")
}
examples=/usr/share/ravederi/examples
as_user ravederi --help > "$work/help.txt" 2>&1 || fail "ravederi --help"
grep -q '^ravederi lom' "$work/help.txt" || fail "ravederi --help lists no lom command"
as_user ravederi lom --project $examples/demo.dpz --eid $examples/demo.eid --field Part-P \
  --field "Component Name-P" --field Price-D --delimiter TAB --out "$home/LOM.txt" > "$work/lom.txt" 2>&1 ||
  { cat "$work/lom.txt" >&2; fail "the demo LOM"; }
parts=$(as_user ravederi project parts $examples/demo.dpz | tail -n +2 | wc -l)
[ -f "$home/LOM.txt" ] && [ "$(wc -l < "$home/LOM.txt")" -eq "$parts" ] && [ "$parts" -gt 0 ] ||
  fail "the demo LOM does not have one line per part ($parts)"
if command -v gio >/dev/null; then
  for f in demo.eid:application/x-ravederi-eid demo.dpz:application/x-ravederi-project; do
    as_user gio info -a standard::content-type "$examples/${f%%:*}" 2>/dev/null | grep -q "${f#*:}" ||
      fail "$examples/${f%%:*} is not ${f#*:}"
  done
fi
as_user dodiv --help > "$work/dodiv-help.txt" 2>&1 || fail "dodiv --help"
grep -qE '^Editor library: /usr/lib/.*ravederi/libRavederi.so$' "$work/dodiv-help.txt" &&
  grep -qx 'Help folder: /usr/share/ravederi/help' "$work/dodiv-help.txt" || fail "dodiv finds: $(tail -n 2 "$work/dodiv-help.txt")"
cp $examples/demo.dpz "$home/demo.dpz"
chown nobody "$home/demo.dpz"
out=$(as_user dodiv --project "$home/demo.dpz" --load 0 --send RAVEDERI,EX --notifications 2>&1) ||
  fail "dodiv could not run the editor: $out"
[ "$out" = "$(printf 'RAVEDERI\tSHUTDOWN')" ] || fail "dodiv printed: $out"
completion=$(as_user bash -c 'source /usr/share/bash-completion/completions/ravederi
  COMP_WORDS=(ravederi lom --profile ""); COMP_CWORD=3; _ravederi; echo "${COMPREPLY[*]}"')
[[ $completion == *assembly* ]] || fail "bash completion of profiles gave '$completion'"
man -w ravederi >/dev/null 2>&1 && man -w dodiv >/dev/null 2>&1 || fail "man pages not found by man"

echo "install and checks took $((SECONDS - t)) s"
echo "== remove and purge"
t=$SECONDS
apt-get remove -y -qq ravederi > "$work/apt.txt" 2>&1 || { cat "$work/apt.txt" >&2; fail "apt-get remove"; }
while read -r f; do
  [ -e "$f" ] && [ ! -d "$f" ] && fail "apt-get remove left $f"
done < "$work/package-files"
# Without configuration files left, dpkg forgets the package on removal.
if dpkg-query -W -f='${Status}' ravederi 2>/dev/null | grep -q config-files; then
  apt-get purge -y -qq ravederi > "$work/apt.txt" 2>&1 || { cat "$work/apt.txt" >&2; fail "apt-get purge"; }
fi
dpkg-query -W ravederi >/dev/null 2>&1 && fail "dpkg still knows ravederi: $(dpkg-query -W -f='${Status}' ravederi)"
if [ -s "$work/pulled-in" ]; then
  xargs apt-get purge -y -qq < "$work/pulled-in" > "$work/apt.txt" 2>&1 || fail "purging $(cat "$work/pulled-in")"
fi
: > "$work/pulled-in"
[ -e /usr/share/mime/application/x-ravederi-eid.xml ] && fail "the EID MIME type is still registered"
snapshot > "$work/files.after"
comm -13 "$work/files.before" "$work/files.after" > "$work/added"
# Other work on the machine may add files meanwhile: only what names the
# package or was one of its files counts.
grep -Ei 'ravederi|dodiv' "$work/added" > "$work/left" || true
grep -Fxf "$work/package-files" "$work/added" >> "$work/left" || true
if [ -s "$work/left" ]; then
  fail "left behind: $(sort -u "$work/left" | tr '\n' ' ')"
fi
[ -s "$work/added" ] && echo "(files added meanwhile by other work: $(wc -l < "$work/added"))"
comm -23 "$work/files.before" "$work/files.after" > "$work/removed"
[ -s "$work/removed" ] && echo "(files gone meanwhile: $(head -n 5 "$work/removed" | tr '\n' ' ')...)"

echo "removal and checks took $((SECONDS - t)) s"
echo "package test took $((SECONDS - start)) s"
if [ "$failures" -gt 0 ]; then
  echo "package test: $failures failure(s)" >&2
  exit 1
fi
echo "package test: ok"
