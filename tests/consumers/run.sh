#!/usr/bin/env bash
# Installs a build into a temporary prefix, moves the tree (everything in
# it must be relocatable), then uses it as outside projects do: a C host
# built through the CMake package and another through pkg-config, the
# installed command-line tools, and the library's SONAME links.
#
#   run.sh BUILD_DIR C_COMPILER VERSION
set -euo pipefail

build_dir=$1
cc=$2
version=$3
here=$(cd "$(dirname "$0")" && pwd)
examples=$here/../../examples

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "consumers: $*" >&2
  exit 1
}

cmake --install "$build_dir" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/prefix"
prefix=$work/prefix

pc_file=$(find "$prefix" -name decomprima.pc)
[ -n "$pc_file" ] || fail "no decomprima.pc installed"
libdir=$(dirname "$(dirname "$pc_file")")

# SONAME and version links: hosts record libdecomprima.so.1, the linker
# follows libdecomprima.so.
major=${version%%.*}
[ "$(readlink "$libdir/libdecomprima.so")" = "libdecomprima.so.$major" ] ||
  fail "libdecomprima.so does not point to libdecomprima.so.$major"
[ "$(readlink "$libdir/libdecomprima.so.$major")" = "libdecomprima.so.$version" ] ||
  fail "libdecomprima.so.$major does not point to libdecomprima.so.$version"
objdump -p "$libdir/libdecomprima.so.$version" | grep -q "SONAME *libdecomprima.so.$major\$" ||
  fail "SONAME is not libdecomprima.so.$major"

# Restores the sample with a host and checks the bytes; then a missing code
# file must come back as result 1 and an invalid one end the host with 4.
check_host() {
  local name=$1 host=$2 out status
  out=$work/$name.txt
  "$host" "$examples/sample.lzw" "$out" >/dev/null || fail "$name: restoring the sample failed"
  cmp -s "$out" "$examples/sample.txt" || fail "$name: restored bytes differ"
  status=0
  "$host" "$work/missing.lzw" "$out" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 1 ] || fail "$name: missing code file gave $status, not 1"
  printf '\x41' >"$work/invalid.lzw"
  status=0
  "$host" "$work/invalid.lzw" "$out" >/dev/null 2>"$work/stderr" || status=$?
  [ "$status" -eq 4 ] || fail "$name: invalid code file gave $status, not 4"
  [ "$(cat "$work/stderr")" = "Fichier de codes invalide!" ] || fail "$name: wrong message on stderr"
  echo "consumers: $name restores the sample"
}

# The installed tools find the library through their relative RUNPATH.
[ "$("$prefix/bin/decomprima" --version)" = "decomprima $version" ] || fail "decomprima --version"
[ "$("$prefix/bin/decomprima-encode" --version)" = "decomprima-encode $version" ] ||
  fail "decomprima-encode --version"
check_host "installed decomprima" "$prefix/bin/decomprima"

# CMake package, and nothing but the moved tree to find it in.
cmake -S "$here/cmake" -B "$work/cmake-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" -DEXPECTED_VERSION="$version" \
  -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$work/cmake.log" ||
  { cat "$work/cmake.log"; fail "configuring the CMake consumer failed"; }
cmake --build "$work/cmake-build" >"$work/build.log" || { cat "$work/build.log"; fail "CMake consumer build failed"; }
check_host "CMake consumer" "$work/cmake-build/host"

# pkg-config, searching only the moved tree.
export PKG_CONFIG_LIBDIR=$libdir/pkgconfig
[ "$(pkg-config --modversion decomprima)" = "$version" ] || fail "pkg-config --modversion"
# shellcheck disable=SC2046 # the flags are meant to split
"$cc" -std=c89 -pedantic-errors -Wall -Wextra -Werror -o "$work/pkg-config-host" "$here/host.c" \
  $(pkg-config --cflags --libs decomprima) -Wl,-rpath,"$(pkg-config --variable=libdir decomprima)"
check_host "pkg-config consumer" "$work/pkg-config-host"
