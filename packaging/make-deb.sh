#!/bin/bash
# Makes the Debian package of the publisher's kit from a build: orv in /usr/bin, the stub,
# the uninstaller and the example product in /usr/share/orv, the documentation in
# /usr/share/doc/orv and the manual page orv(1), made from orv's help texts.
#
#   packaging/make-deb.sh BUILD_DIR [OUT_DIR]     (OUT_DIR defaults to BUILD_DIR)
#
# Writes OUT_DIR/orv_VERSION_ARCH.deb and prints its path. Needs dpkg-dev (dpkg-shlibdeps)
# and python3; the kit's files must be built (cmake --build BUILD_DIR). The same build
# gives the same package, byte for byte (SOURCE_DATE_EPOCH: the changelog's date).
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=$(cd "${1:?usage: make-deb.sh BUILD_DIR [OUT_DIR]}" && pwd)
OUT=$(cd "${2:-$BUILD}" && pwd)
ORV=$BUILD/orv
[ -x "$ORV" ] || { echo "make-deb.sh: $ORV is not built" >&2; exit 1; }
VERSION=$("$ORV" --version | head -n 1 | cut -d' ' -f2)
ARCH=$(dpkg --print-architecture)
STAGE=$(mktemp -d "$OUT/deb-stage.XXXXXX")
trap 'rm -rf "$STAGE"' EXIT
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(date -d "$(dpkg-parsechangelog -l "$HERE/changelog" -S Date)" +%s)}

DESTDIR=$STAGE/root cmake --install "$BUILD" --prefix /usr >/dev/null
ROOT=$STAGE/root
# orv.exe is the kit's command for Windows; it has no place in /usr/bin of a Debian system.
rm -f "$ROOT/usr/bin/orv.exe"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$ROOT/usr/bin/orv"
DOC=$ROOT/usr/share/doc/orv
install -m 644 "$HERE/copyright" "$DOC/copyright"
gzip -9n <"$HERE/changelog" >"$DOC/changelog.gz"
mkdir -p "$ROOT/usr/share/man/man1"
python3 "$HERE/orv-manpage.py" "$ORV" "$STAGE/orv.1"
gzip -9n <"$STAGE/orv.1" >"$ROOT/usr/share/man/man1/orv.1.gz"
find "$ROOT" -type d -exec chmod 755 {} +
find "$ROOT" -type f -exec chmod 644 {} +
chmod 755 "$ROOT/usr/bin/orv"
# The example's payload keeps its fixed times: they are part of what orv build writes.
find "$ROOT" -path "$ROOT/usr/share/orv/example/payload" -prune -o -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

mkdir -p "$STAGE/shlibs/debian" "$ROOT/DEBIAN"
touch "$STAGE/shlibs/debian/control"
DEPENDS=$(cd "$STAGE/shlibs" && dpkg-shlibdeps -O "$ROOT/usr/bin/orv" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
SIZE=$(du -sk --apparent-size "$ROOT/usr" | cut -f1)
cat >"$ROOT/DEBIAN/control" <<CONTROL
Package: orv
Version: $VERSION
Architecture: $ARCH
Maintainer: Orv Install maintainers <maintainers@orv-install.invalid>
Installed-Size: $SIZE
Depends: $DEPENDS
Suggests: wine, wine32, xvfb, python3, imagemagick
Section: devel
Priority: optional
Description: installers for 32-bit Windows made from a folder of files
 orv makes a self-contained installer for 32-bit Windows (Windows 95 to 2000
 and later) from a product folder: an install script, a licence text and the
 files to install. It checks the product, packs the files and writes them
 into the prebuilt installer stub, with no compiler and no Windows; the
 installer carries its own uninstaller. orv inspect shows what an installer
 carries; orv try installs and uninstalls it under Wine, judged.
CONTROL
(cd "$ROOT" && find usr -type f | LC_ALL=C sort | xargs md5sum >DEBIAN/md5sums)
chmod 644 "$ROOT/DEBIAN/control" "$ROOT/DEBIAN/md5sums"
DEB=$OUT/orv_${VERSION}_${ARCH}.deb
dpkg-deb --root-owner-group -Zxz --build "$ROOT" "$DEB" >/dev/null
echo "$DEB"
