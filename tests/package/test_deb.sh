#!/usr/bin/env bash
# Builds the Debian package from BUILD_DIR (cpack -G DEB), checks its file list and its dependencies, installs
# it with apt, checks that the program answers --version and --help from the installed files, that the menu
# entry, the icons, the metainfo, the manual pages and the bash completion are where the desktop, man and bash
# look for them, that the machine settings file is in
# /etc/tonvex naming the installed program and its version, and that the installed program's update check
# sends that version (under Xvfb with openbox and trayer on a private audio server, against a local
# endpoint), then removes the package and checks that nothing of it is left.
# Needs root (apt); the package is always removed again.
# Usage: test_deb.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

cmake --build "$build" --target tonvex tonvex-cli tonvex-guardian tonvex-icons tonvex-manuals >/dev/null
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/tonvex_*.deb | head -n1)
echo "package: $deb"
listing=$(dpkg-deb -c "$deb")
grep -q ' \./etc/tonvex/machine\.reg$' <<<"$listing" && pass "machine.reg packaged as /etc/tonvex/machine.reg" ||
  fail "no /etc/tonvex/machine.reg in the package"
grep -qE '_CPack_Packages|\./tmp/|/usr/etc/' <<<"$listing" && fail "build or misplaced paths in the package" ||
  pass "no build paths in the package"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in "pulseaudio | pipewire-pulse" fonts-liberation2; do
  grep -qF "$needed" <<<"$depends" && pass "depends on $needed" || fail "no dependency on $needed: $depends"
done
grep -qF qt6-translations-l10n <<<"$(dpkg-deb -f "$deb" Recommends)" && pass "recommends qt6-translations-l10n" ||
  fail "qt6-translations-l10n not recommended"

trap 'apt-get remove -y --purge tonvex >/dev/null 2>&1 || true' EXIT
apt-get install -y "$deb" >/dev/null

version=$(/usr/bin/tonvex --version) && pass "tonvex --version: $version" || fail "tonvex --version failed"
/usr/bin/tonvex-cli --help >/dev/null && pass "tonvex-cli runs" || fail "tonvex-cli --help failed"
for file in /usr/share/applications/tonvex.desktop /usr/share/icons/hicolor/scalable/apps/tonvex.svg \
    /usr/share/icons/hicolor/48x48/apps/tonvex.png /usr/share/metainfo/io.github.brevalto.Tonvex.metainfo.xml \
    /usr/bin/tonvex-guardian /usr/share/tonvex/presets/01_Flat.tvd /usr/share/man/man1/tonvex.1.gz \
    /usr/share/man/man1/tonvex-cli.1.gz /usr/share/bash-completion/completions/tonvex \
    /usr/share/bash-completion/completions/tonvex-cli; do
  [ -s "$file" ] && pass "$file installed" || fail "$file missing"
done
for page in tonvex tonvex-cli; do
  MANWIDTH=80 man --warnings -l "/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null | grep -q . &&
    fail "man $page warns" || pass "man $page renders"
done
/usr/bin/tonvex --help | grep -q 'Exit status' && pass "tonvex --help" || fail "tonvex --help"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate /usr/share/applications/tonvex.desktop && pass "desktop entry valid" || fail "desktop entry invalid"
fi

machine=/etc/tonvex/machine.reg
grep -qxF '@="/usr/bin/tonvex"' "$machine" && pass "machine.reg names /usr/bin/tonvex" ||
  fail "machine.reg does not name /usr/bin/tonvex: $(cat "$machine")"
grep -qxF "\"version\"=\"${version#tonvex }\"" "$machine" && pass "machine.reg holds the version ${version#tonvex }" ||
  fail "machine.reg's version is not ${version#tonvex }"
dpkg-query -W -f='${Conffiles}' tonvex | grep -q "$machine" && pass "machine.reg is a conffile" ||
  fail "machine.reg is not a conffile"
"$(dirname "$0")/installed_update_check.sh" "$build" && pass "the installed program's update check sends its version" ||
  fail "the installed program's update check"

files=$(dpkg -L tonvex | grep -v '/$' || true)
apt-get remove -y --purge tonvex >/dev/null
trap - EXIT
left=0
while read -r file; do [ -f "$file" ] && { fail "left after removal: $file"; left=1; }; done <<<"$files"
[ "$left" -eq 0 ] && pass "removed cleanly"
dpkg -s tonvex >/dev/null 2>&1 && fail "package still known to dpkg" || true

[ "$failures" -eq 0 ] && echo "package test passed" || { echo "$failures failed" >&2; exit 1; }
