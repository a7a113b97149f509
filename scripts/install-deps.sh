#!/usr/bin/env bash
# Installs what building and testing need beyond a Debian 12 base image,
# and only what is missing: compilers, CMake, Ninja, GoogleTest.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

have_cmd g++ || need+=(g++)
have_cmd clang++ || need+=(clang)
have_cmd cmake || need+=(cmake)
have_cmd ninja || need+=(ninja-build)
have_cmd nm || need+=(binutils)
have_pkg libgtest-dev || need+=(libgtest-dev)
have_pkg libclang-rt-14-dev || need+=(libclang-rt-14-dev)

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${need[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
