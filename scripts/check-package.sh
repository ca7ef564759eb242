#!/usr/bin/env bash
# Installs a build into a scratch root and builds its Debian package, then
# checks what a user's system would get: the programs, the desktop entry, the
# AppStream metadata and the icon in their places, each file valid, and a
# package with its library dependencies that lintian finds no error in.
#
#   scripts/check-package.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "check-package: $*" >&2; exit 1; }

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
root="$work/root/usr"
for file in bin/folionest bin/folionest-cli \
            share/applications/com.vellumkeep.Folionest.desktop \
            share/metainfo/com.vellumkeep.Folionest.metainfo.xml \
            share/icons/hicolor/scalable/apps/com.vellumkeep.Folionest.svg \
            share/doc/folionest/copyright share/doc/folionest/changelog.Debian.gz; do
  [[ -f "$root/$file" ]] || fail "cmake --install did not install $file"
done
desktop-file-validate "$root/share/applications/com.vellumkeep.Folionest.desktop"
appstreamcli validate --no-net "$root/share/metainfo/com.vellumkeep.Folionest.metainfo.xml"
grep -q '^Icon=com.vellumkeep.Folionest$' "$root/share/applications/com.vellumkeep.Folionest.desktop" ||
  fail "the desktop entry does not name the installed icon"

(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/*.deb)
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
# Found by dpkg-shlibdeps from the programs' own libraries.
for library in libqt6core6 libqt6widgets6 libsqlite3-0 libssl3 libc6; do
  [[ $depends == *"$library"* ]] || fail "the package does not depend on $library"
done
contents=$(dpkg-deb --contents "$deb")
[[ $contents == *./usr/share/icons/hicolor/scalable/apps/com.vellumkeep.Folionest.svg* ]] ||
  fail "the package has no icon"
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "check-package: $(basename "$deb") installs and packages cleanly"
