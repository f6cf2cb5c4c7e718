#!/usr/bin/env bash
# CI: the manual page passes the man-page linters without a warning; the
# install rules put the program and the page in place; the Debian package
# installs into a scratch root and its program runs from there; the Windows
# .zip holds slicery.exe and the README.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
"$root/scripts/ensure-packages.sh" mandoc groff-base dpkg-dev unzip file
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

page="$root/man/slicery.1"
lint="$(mandoc -T lint -W style "$page" 2>&1)" || true
[ -z "$lint" ] || fail "mandoc -T lint: $lint"
lint="$(groff -ww -z -man "$page" 2>&1)" || true
[ -z "$lint" ] || fail "groff -ww: $lint"
echo "man page: no warnings from mandoc or groff"

bash "$root/scripts/package.sh"
deb="$(ls "$root"/out/slicery_1.0*_amd64.deb)"
zip="$(ls "$root"/out/slicery-1.0*-win64.zip)"

DESTDIR="$scratch/install" cmake --install "$root/build-package" --prefix /usr >/dev/null
for f in usr/bin/slicery usr/share/man/man1/slicery.1; do
  [ -f "$scratch/install/$f" ] || fail "cmake --install did not install /$f"
done

dpkg-deb --contents "$deb"
depends="$(dpkg-deb --field "$deb" Depends)"
echo "Depends: $depends"
[[ "$depends" == *libc6* ]] || fail "the package's Depends lack libc6"
for lib in libisal libxxhash; do
  [[ "$depends" == *"$lib"* ]] || fail "the package's Depends lack $lib"
done
dpkg -x "$deb" "$scratch/root"
version="$("$scratch/root/usr/bin/slicery" --version </dev/null)"
[ "$version" = "slicery 1.0" ] || fail "installed slicery --version said \"$version\""
mandoc -T lint -W warning "$scratch/root/usr/share/man/man1/slicery.1" ||
  fail "the packaged man page"

unzip -l "$zip"
unzip -q "$zip" -d "$scratch/zip"
exe="$(ls "$scratch"/zip/*/slicery.exe)"
file "$exe" | grep -q 'PE32+ executable (console) x86-64' || fail "$(file "$exe")"
[ -f "$(dirname "$exe")/README.md" ] || fail "the .zip has no README beside slicery.exe"
echo "package: 4 passed, 0 failed"
