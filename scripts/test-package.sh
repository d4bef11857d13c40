#!/bin/sh
# Checks the Debian package that `make package` built in the build folder
# ($1, default build): unpacked with dpkg -x into a scratch root, it must hold
# every program with its man page, the menu entry, the icon and the metadata
# (each validated), dependencies computed from the binaries, no lintian
# error, and its programs must run from the scratch root (headless).
set -eu
BUILD=${1:-build}
cd "$(dirname "$0")/.."
sh scripts/install-packages.sh lintian appstream desktop-file-utils dpkg-dev

fail() { echo "test-package: FAIL: $*" >&2; exit 1; }
ok() { echo "test-package: ok: $*"; }

version=$(sed -n 's/^project(Korvani VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="$BUILD/korvani_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $deb"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
ok "unpacked $deb"

# The files.
programs="korvani korvani-sim korvani-demo"
if find "$BUILD" -name korvani-cli -type f -perm -u+x | grep -q .; then
  programs="$programs korvani-cli"
fi
for p in $programs; do
  [ -x "$root/usr/bin/$p" ] || fail "usr/bin/$p missing"
  [ -s "$root/usr/share/man/man1/$p.1.gz" ] || fail "no man page for $p"
  zcat "$root/usr/share/man/man1/$p.1.gz" | grep -q "^\.TH $(echo "$p" | tr a-z A-Z) 1 .*\"Korvani $version\"" \
    || fail "man page of $p is not its own, or not of version $version"
done
for f in usr/share/applications/org.korvani.Korvani.desktop \
         usr/share/metainfo/org.korvani.Korvani.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/korvani.svg \
         usr/share/icons/hicolor/128x128/apps/korvani.png \
         usr/share/doc/korvani/copyright usr/share/doc/korvani/changelog.gz; do
  [ -s "$root/$f" ] || fail "$f missing"
done
file -b "$root/usr/share/icons/hicolor/128x128/apps/korvani.png" | grep -q "PNG image data, 128 x 128" \
  || fail "the PNG icon is not 128 x 128"
zcat "$root/usr/share/doc/korvani/changelog.gz" | head -n 1 | grep -q "^korvani ($version) " \
  || fail "the changelog does not start with version $version"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.korvani.Korvani.metainfo.xml" \
  || fail "the metadata does not name version $version"
ok "files: $programs, man pages, menu entry, metadata, icons, copyright, changelog (version $version)"

# The menu entry and the metadata.
desktop="$root/usr/share/applications/org.korvani.Korvani.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.korvani.Korvani.metainfo.xml" \
  || fail "appstreamcli validate"
grep -q '^Name\[zh_CN\]=' "$desktop" && grep -q '^Comment\[zh_CN\]=' "$desktop" \
  && grep -q '^Categories=Development;Electronics;' "$desktop" || fail "desktop entry fields"
execs=$(sed -n 's/^Exec=//p' "$desktop")
[ "$(echo "$execs" | head -1)" = korvani ] || fail "the menu entry does not start korvani"
echo "$execs" | grep -qx korvani-demo || fail "no demo action"
ok "menu entry and metadata validate"

# Dependencies come from the binaries.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt5core5a libqt5widgets5 libqt5serialport5 libqt5charts5 libstdc++6; do
  echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib: $depends"
done
ok "Depends: $depends"

# lintian: no errors; warnings are printed.
lintian --tag-display-limit 0 --display-info "$deb" > "$root.lintian" 2>&1 || true
cat "$root.lintian"
if grep -q '^E:' "$root.lintian"; then rm -f "$root.lintian"; fail "lintian errors"; fi
rm -f "$root.lintian"
ok "lintian: no errors"

# The programs run from the scratch root.
PATH="$root/usr/bin:$PATH"
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$root/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
korvani-sim --help | grep -q -- '--go-away' || fail "korvani-sim --help"
rc=0; korvani-sim --rate 30 2>/dev/null || rc=$?
[ $rc -eq 2 ] || fail "korvani-sim --rate 30 gave $rc, not 2"
korvani-demo --help | grep -q -- '--replug' || fail "korvani-demo --help"

out="$root/sim.out"
korvani-sim --rate 100 > "$out" &
sim=$!
n=0
while [ ! -s "$out" ] && [ $n -lt 100 ]; do sleep 0.1; n=$((n + 1)); done
device=$(head -1 "$out")
[ -c "$device" ] || { kill $sim; fail "korvani-sim printed no device ($device)"; }
kill -TERM $sim
rc=0; wait $sim || rc=$?
[ $rc -eq 0 ] || fail "korvani-sim ended with $rc on SIGTERM"
ok "korvani-sim serves $device and ends cleanly"

# Each command line of the menu entry starts and keeps running (5 s).
for cmd in $execs; do
  rc=0; timeout -s TERM 5 $cmd 2>/dev/null || rc=$?
  [ $rc -eq 124 ] || fail "menu command '$cmd' ended early with $rc"
done
ok "menu commands run: $(echo $execs)"

if echo "$programs" | grep -q korvani-cli; then
  korvani-cli --sim version | grep -q '^HARD:' || fail "korvani-cli --sim version"
  ok "korvani-cli --sim version"
fi
echo "test-package: all checks passed"
