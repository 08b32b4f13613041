#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: packages already present are left alone, and apt is not touched
# at all when nothing is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlite3-dev sqlite3
  libpq-dev postgresql postgresql-contrib
  mdbtools-dev
  libxlsxwriter-dev python3-openpyxl
  libgtest-dev libgmock-dev
  fonts-dejavu-core
  fonts-noto-cjk
  clang libclang-rt-14-dev
  python3-sexpdata kicad-demos
  # The Debian package and its checks: dependencies computed by dpkg-shlibdeps,
  # PNG icons drawn from the SVG, man pages rendered by their test, and what
  # scripts/package-test.sh validates with.
  dpkg-dev librsvg2-bin groff-base lintian desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
