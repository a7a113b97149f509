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

# Packaging, consumer and lint checks: pkg-config and Python hosts, the
# .deb tools (dpkg-shlibdeps, file), clang-format, clang-tidy, groff.
have_cmd pkg-config || need+=(pkg-config)
have_cmd python3 || need+=(python3)
have_cmd dpkg-shlibdeps || need+=(dpkg-dev)
have_cmd file || need+=(file)
have_cmd clang-format-14 || have_cmd clang-format || need+=(clang-format)
have_cmd clang-tidy-14 || have_cmd clang-tidy || need+=(clang-tidy)
have_cmd groff || need+=(groff-base)

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${need[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
