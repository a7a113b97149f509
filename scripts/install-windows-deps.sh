#!/usr/bin/env bash
# Installs what the 32-bit Windows build and its tests need beyond a
# Debian 12 machine, and only what is missing: the mingw-w64 cross
# compiler for i686 and wine with its 32-bit half (a 64-bit-only wine runs
# 32-bit programs in a broken mode in which every one of them exits 0).
#
# Where the kernel runs no 32-bit x86 programs (IA-32 emulation disabled,
# as on some virtual machines), the 32-bit wine is run through qemu's user
# mode emulator instead: the script registers it with binfmt_misc for
# 32-bit x86 executables.
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
# qemu before 8.1 searches the guest's address space page by page on every
# mmap, and wine maps a lot: each wine process took some 45 s to start with
# Debian 12's qemu 7.2, against about a second with a newer one from the
# distribution's backports.
qemu_is_recent() {
  have_pkg qemu-user && dpkg --compare-versions \
    "$(dpkg-query -W -f='${Version}' qemu-user)" ge 1:8.1
}
# Adds the backports suite from the machine's own Debian source entry.
add_backports() {
  local codename list
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 1
  if apt-cache policy 2>/dev/null | grep -q " $codename-backports/main"; then
    return 0
  fi
  list=/etc/apt/sources.list.d/$codename-backports
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    awk -v suite="$codename" 'BEGIN { RS = ""; ORS = "\n\n" }
      $0 ~ ("Suites:[^\n]* " suite "( |\n|$)") { print; exit }' \
      /etc/apt/sources.list.d/debian.sources |
      sed "s/^Suites: .*/Suites: $codename-backports/" | $sudo tee "$list.sources" >/dev/null
    [ -s "$list.sources" ] || { $sudo rm -f "$list.sources"; return 1; }
  elif grep -Eq "^deb [^ ]+ $codename main" /etc/apt/sources.list 2>/dev/null; then
    grep -E "^deb [^ ]+ $codename main" /etc/apt/sources.list | head -n 1 |
      sed "s/ $codename main/ $codename-backports main/" | $sudo tee "$list.list" >/dev/null
  else
    return 1
  fi
}
if ! qemu_is_recent; then
  if add_backports; then
    $sudo apt-get update -qq
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    $sudo apt-get install -y -qq --no-install-recommends -t "$codename-backports" qemu-user ||
      echo "install-windows-deps: no qemu-user from backports" >&2
  fi
  if ! have_pkg qemu-user; then
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends qemu-user
  fi
fi
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
fi
# A registration keeps the emulator it opened: renew it after an upgrade.
if [ -e "$binfmt/qemu-i386" ] && ! /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
  echo -1 | $sudo tee "$binfmt/qemu-i386" >/dev/null
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
