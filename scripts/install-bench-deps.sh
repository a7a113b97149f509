#!/usr/bin/env bash
# Installs the benchmark's optional peer, libtiff (and pkg-config to find
# it), when missing.
set -euo pipefail
need=()
dpkg-query -W -f='${Status}' libtiff-dev 2>/dev/null | grep -q "install ok installed" || need+=(libtiff-dev)
command -v pkg-config >/dev/null 2>&1 || need+=(pkg-config)
[ ${#need[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
