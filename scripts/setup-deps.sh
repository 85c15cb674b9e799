#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian bookworm machine (run as root).
# Does nothing for tools that are already present.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || need+=(cmake)
have g++ || need+=(g++)
have make || need+=(make)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
have i686-w64-mingw32-g++ || need+=(g++-mingw-w64-i686)
have i686-w64-mingw32-windres || need+=(binutils-mingw-w64-i686)
# The 64-bit Windows build: the end-to-end tests run it under 64-bit Wine, which works on
# machines that cannot execute 32-bit code.
have x86_64-w64-mingw32-g++ || need+=(g++-mingw-w64-x86-64)
# orv.exe, the publisher's command for Windows, uses std::thread: the posix thread model.
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have Xvfb || need+=(xvfb)
have xauth || need+=(xauth)
have mscompress || need+=(mscompress)
# ImageMagick's import takes the screenshots; some images ship a stand-in 'convert' without it.
have import || need+=(imagemagick)
have python3 || need+=(python3)
# Authenticode signing of a built installer (the publisher's guide and its end-to-end test).
have osslsigncode || need+=(osslsigncode)
# Wine's own fonts: Marlett draws the caption buttons, MS Sans Serif has the metrics the
# dialogs were laid out for (without them the pictures show "0 2 r" and cut texts).
[ -f /usr/share/wine/fonts/marlett.ttf ] || need+=(fonts-wine)
have openssl || need+=(openssl)
# The kit's Debian package (packaging/make-deb.sh) and its check.
have dpkg-shlibdeps || need+=(dpkg-dev)
have lintian || need+=(lintian)
have man || need+=(man-db)
# The fuzz harnesses (tests/fuzz/): clang with libFuzzer and AddressSanitizer's runtime.
have clang++ || need+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || need+=(libclang-rt-dev libfuzzer-14-dev)
wine_ok=1
have wine || wine_ok=0
dpkg -s wine32:i386 >/dev/null 2>&1 || wine_ok=0
[ -x /usr/lib/wine/wine64 ] || wine_ok=0

if [ ${#need[@]} -ne 0 ] || [ $wine_ok -eq 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup-deps: missing packages (${need[*]} wine) and not root; install them first" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if [ $wine_ok -eq 0 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    need+=(wine wine32:i386 wine64)
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# 32-bit Wine needs the machine to run 32-bit Linux code. Some virtual machines cannot
# ("Exec format error"). There the end-to-end tests run the 64-bit build of the same sources
# under 64-bit Wine instead (tests/e2e/harness/env.py decides). Emulating 32-bit code with
# qemu's user mode is no way out: 32-bit Wine under it takes many minutes per program, and
# a 64-bit prefix would set up its 32-bit half through it too.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "setup-deps: this machine cannot run 32-bit code; the end-to-end tests will run the 64-bit build"
fi
