#!/usr/bin/env bash
# Installs what the 32-bit Windows build and its tests need beyond a
# Debian 12 machine, and only what is missing: the mingw-w64 cross
# compiler for i686 and wine with its 32-bit half (a 64-bit-only wine runs
# 32-bit programs in a broken mode in which every one of them exits 0).
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

have_pkg g++-mingw-w64-i686 || need+=(g++-mingw-w64-i686)
have_pkg wine || need+=(wine)
have_pkg wine32:i386 || need+=(wine32:i386)

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

echo "install-windows-deps: installing ${need[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
