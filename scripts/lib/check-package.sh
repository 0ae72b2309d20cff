#!/usr/bin/env bash
# Builds the Debian package from a built build directory and checks it: the files it holds, the desktop entry
# and AppStream validators, lintian (no errors), and, as root, that it installs, that the installed
# tavrel-check runs without a display, and that it goes away without a trace. The package is purged again at
# once: the check never leaves it installed.
#
#     scripts/lib/check-package.sh build/ci
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:?usage: scripts/lib/check-package.sh BUILD_DIR}
started=$SECONDS
package=tavrel-check
app_id=$(sed -n 's/^set(TAVREL_APP_ID \(.*\))$/\1/p' CMakeLists.txt)
[ -n "$app_id" ] || { echo "TAVREL_APP_ID not found in CMakeLists.txt" >&2; exit 1; }

fail() {
    echo "package check FAILED: $*" >&2
    exit 1
}

out=$build/package
rm -rf "$out"
mkdir -p "$out"
echo "--- cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$PWD/package") >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; fail "cpack"; }
debs=("$out"/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one .deb in $out, found: ${debs[*]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Package) $version, depends on: $(dpkg-deb -f "$deb" Depends)"
[ "$(dpkg-deb -f "$deb" Package)" = "$package" ] || fail "package name"
grep -q "^project(tavrel_check VERSION $version " CMakeLists.txt || fail "version $version is not the project's"
[[ $(dpkg-deb -f "$deb" Depends) == *libqt6widgets6* ]] || fail "dependencies were not computed"
[[ $(dpkg-deb -f "$deb" Maintainer) =~ \<.+@.+\>$ ]] || fail "maintainer without an e-mail address"

echo "--- dpkg-deb --contents"
expected="-rwxr-xr-x root/root ./usr/bin/tavrel-check
-rwxr-xr-x root/root ./usr/bin/tavrel-sim
-rw-r--r-- root/root ./usr/lib/udev/rules.d/70-tavrel-check.rules
-rw-r--r-- root/root ./usr/share/applications/$app_id.desktop
-rw-r--r-- root/root ./usr/share/doc/tavrel-check/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/tavrel-check/copyright
-rw-r--r-- root/root ./usr/share/icons/hicolor/256x256/apps/$app_id.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/$app_id.svg
-rw-r--r-- root/root ./usr/share/metainfo/$app_id.metainfo.xml"
listed=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | LC_ALL=C sort -k3)
if [ "$listed" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$listed") || true
    fail "the package's files differ from the expected list (< expected, > in the package)"
fi
# No directory of the package is writable by anyone but root.
if dpkg-deb --contents "$deb" | awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { bad = 1; print } END { exit !bad }'; then
    fail "directories with other modes than 0755"
fi
echo "the expected $(echo "$expected" | wc -l) files, owned by root"

tree=$out/tree
dpkg-deb -x "$deb" "$tree"
[[ $(file "$tree/usr/share/icons/hicolor/256x256/apps/$app_id.png") == *"PNG image data, 256 x 256"* ]] ||
    fail "the icon is not a 256 x 256 PNG"

echo "--- desktop-file-validate"
desktop-file-validate "$tree/usr/share/applications/$app_id.desktop" || fail "desktop-file-validate"
grep -qx 'Name=Поверка Таврель' "$tree/usr/share/applications/$app_id.desktop" || fail "the desktop entry's name"
echo "passed"

echo "--- appstreamcli validate --no-net"
appstreamcli validate --no-net "$tree/usr/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"

echo "--- lintian"
# Errors fail the check; warnings and notes are shown.
lintian --fail-on error --display-level '>=info' "$deb" || fail "lintian reports errors"

echo "--- dpkg -i, run from /usr/bin, dpkg -P"
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: not root, so the package is not installed here (CI runs this as root)."
elif [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)" = "install ok installed" ]; then
    echo "SKIPPED: $package is installed on this machine already; the check would replace and then purge it."
else
    trap 'dpkg -P "$package" >/dev/null 2>&1 || true' EXIT
    dpkg -i "$deb" >"$out/dpkg-install.log" 2>&1 || { cat "$out/dpkg-install.log"; fail "dpkg -i"; }
    files=$(dpkg -L "$package" | while read -r path; do [ -d "$path" ] || echo "$path"; done)
    [ "$(echo "$files" | wc -l)" -eq "$(echo "$expected" | wc -l)" ] || fail "dpkg -L lists other files: $files"
    for path in $files; do
        [ -f "$path" ] || fail "$path is not installed"
    done
    # The way an engineer tries it from a console or over ssh: no display, Qt not told to do without one.
    shown=$(cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/tavrel-check --version) ||
        fail "/usr/bin/tavrel-check --version exits with $?"
    echo "$shown"
    [ "$(echo "$shown" | head -n 1)" = "tavrel-check $version" ] || fail "--version does not name $version"
    shown=$(cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/tavrel-check --help) ||
        fail "/usr/bin/tavrel-check --help exits with $?"
    [[ $shown == "Использование: tavrel-check"* ]] || fail "/usr/bin/tavrel-check --help prints: $shown"
    shown=$(/usr/bin/tavrel-sim --help) || fail "/usr/bin/tavrel-sim --help exits with $?"
    [[ $shown == "Usage: tavrel-sim"* ]] || fail "/usr/bin/tavrel-sim --help prints: $shown"
    dpkg -P "$package" >"$out/dpkg-purge.log" 2>&1 || { cat "$out/dpkg-purge.log"; fail "dpkg -P"; }
    trap - EXIT
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ -z $status || $status == *not-installed ]] || fail "dpkg still has $package: $status"
    for path in $files /usr/share/doc/$package; do
        [ ! -e "$path" ] || fail "$path is left after dpkg -P"
    done
    echo "installed, ran without a display, purged: no file left"
fi
echo "Package stage passed in $((SECONDS - started)) s: $deb"
