#!/usr/bin/env bash
# Photographs every window a user of a product's installer will see, headless (Xvfb, a Wine
# virtual desktop, so that windows have their frames and captions and the setup window is
# maximised): each dialog of an installation answered with the default buttons, the
# completion dialog, the uninstaller's question and closing box, and a declined licence.
#
#   scripts/screenshots.sh [PRODUCT_DIR]
#
# PRODUCT_DIR is a product folder (SCRIPT, LICENCE, payload/, optional ORDER) and is built
# with build/orv; the pictures go to build/screenshots/NAME/. Without it the example product
# Lumivane is photographed and docs/images/*.png are refreshed: built with build/orv when it
# exists, else the example installer of the build, build/win/install.exe.
# Needs a configured and built tree (cmake -S . -B build && cmake --build build -j2).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build
export ORV_BUILD_DIR=$build ORV_SOURCE_DIR=$root PYTHONDONTWRITEBYTECODE=1
# The example installer is the shipped 32-bit build; photograph it in a 32-bit prefix.
export ORV_E2E_ARCH=${ORV_E2E_ARCH:-win32}

orv=$build/orv
product=${1:-}
docs=()
if [ -n "$product" ]; then
  [ -d "$product" ] || { echo "screenshots: no product folder $product" >&2; exit 2; }
  [ -x "$orv" ] || { echo "screenshots: $orv is not built (cmake --build build -j2)" >&2; exit 1; }
  name=$(basename "$(cd "$product" && pwd)")
  out=$build/screenshots/$name
  mkdir -p "$out"
  installer=$out/$name-setup.exe
  "$orv" build "$product" -o "$installer" || exit 1
else
  name=Lumivane
  out=$build/screenshots/$name
  mkdir -p "$out"
  installer=$build/win/install.exe
  if [ -x "$orv" ] && [ -f "$build/win/example/product/SCRIPT" ]; then
    # The example's product folder as the build makes it (the built program, the file times
    # set to a fixed moment, ORDER); orv finds the stub and the uninstaller in build/win.
    installer=$out/$name-setup.exe
    "$orv" build "$build/win/example/product" -o "$installer" -q || exit 1
  fi
  [ -f "$installer" ] || { echo "screenshots: $installer is not built (cmake --build build -j2)" >&2; exit 1; }
  docs=(--docs "$root/docs/images")
fi

echo "screenshots: $installer"
python3 tests/e2e/run.py --setup || { echo "screenshots: no Wine prefix" >&2; exit 1; }
python3 scripts/screenshots.py "$installer" "$out" "${docs[@]}"
status=$?
python3 tests/e2e/run.py --cleanup >/dev/null 2>&1
exit $status
