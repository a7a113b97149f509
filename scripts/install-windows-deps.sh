#!/usr/bin/env bash
# Installs what the 32-bit Windows build and its tests need beyond a
# Debian 12 machine, and only what is missing: the mingw-w64 cross
# compiler for i686 and wine with its 32-bit half (a 64-bit-only wine runs
# 32-bit programs in a broken mode in which every one of them exits 0).
#
# Where the kernel runs no 32-bit x86 programs (IA-32 emulation disabled,
# as on some virtual machines), the 32-bit wine is run through qemu's user
# mode emulator instead: the script registers it with binfmt_misc for
# 32-bit x86 executables. That is slow but exact.
set -euo pipefail

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

need=()
have_pkg g++-mingw-w64-i686 || need+=(g++-mingw-w64-i686)
have_pkg wine || need+=(wine)
have_pkg wine32:i386 || need+=(wine32:i386)

if [ ${#need[@]} -gt 0 ]; then
  echo "install-windows-deps: installing ${need[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# Can this machine run a 32-bit x86 program?
if /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
  exit 0
fi

echo "install-windows-deps: this kernel runs no 32-bit x86 programs; using qemu-i386 for them"
if ! have_pkg qemu-user; then
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends qemu-user
fi
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
fi
if [ ! -e "$binfmt/qemu-i386" ]; then
  # ELF, 32-bit, little-endian, executable or shared object, machine 386;
  # F: the kernel opens the emulator now, so it works in any mount
  # namespace.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s' ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386:F" | $sudo tee "$binfmt/register" >/dev/null
fi
if ! /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
  echo "install-windows-deps: 32-bit x86 programs still do not run" >&2
  exit 1
fi
