#!/usr/bin/env bash
# Builds the Debian package from BUILD_DIR (cpack -G DEB), installs it with apt, checks that the program
# answers --version from the installed files and that the menu entry, the icons and the metainfo are where
# the desktop looks for them, then removes the package and checks that nothing of it is left.
# Needs root (apt); the package is always removed again.
# Usage: test_deb.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

cmake --build "$build" --target tonvex tonvex-cli tonvex-guardian tonvex-icons >/dev/null
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/tonvex_*.deb | head -n1)
echo "package: $deb"
trap 'apt-get remove -y --purge tonvex >/dev/null 2>&1 || true' EXIT
apt-get install -y "$deb" >/dev/null

version=$(/usr/bin/tonvex --version) && pass "tonvex --version: $version" || fail "tonvex --version failed"
/usr/bin/tonvex-cli --help >/dev/null && pass "tonvex-cli runs" || fail "tonvex-cli --help failed"
for file in /usr/share/applications/tonvex.desktop /usr/share/icons/hicolor/scalable/apps/tonvex.svg \
    /usr/share/icons/hicolor/48x48/apps/tonvex.png /usr/share/metainfo/io.github.brevalto.Tonvex.metainfo.xml \
    /usr/bin/tonvex-guardian /usr/share/tonvex/presets/01_Flat.tvd; do
  [ -s "$file" ] && pass "$file installed" || fail "$file missing"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate /usr/share/applications/tonvex.desktop && pass "desktop entry valid" || fail "desktop entry invalid"
fi

files=$(dpkg -L tonvex | grep -v '/$' || true)
apt-get remove -y --purge tonvex >/dev/null
trap - EXIT
left=0
while read -r file; do [ -f "$file" ] && { fail "left after removal: $file"; left=1; }; done <<<"$files"
[ "$left" -eq 0 ] && pass "removed cleanly"
dpkg -s tonvex >/dev/null 2>&1 && fail "package still known to dpkg" || true

[ "$failures" -eq 0 ] && echo "package test passed" || { echo "$failures failed" >&2; exit 1; }
