#!/usr/bin/env bash
# Checks the packages that `cmake --workflow --preset package` builds:
#   - each .deb holds exactly the files of its part (dpkg-deb -c) and the
#     right dependencies; the .tar.gz holds both parts;
#   - the unpacked .tar.gz works where it lands (tools, pkg-config);
#   - with --install, on a CI machine (CI=true) as root: installs both
#     .debs with dpkg -i, uses the installed library from C (pkg-config and
#     CMake), from Python and through the tools, then purges them again.
#
#   scripts/check-packages.sh [--install] [PACKAGE_DIR]   (default build/package)
set -euo pipefail
cd "$(dirname "$0")/.."

install=0
if [ "${1:-}" = "--install" ]; then
  install=1
  shift
fi
package_dir=${1:-build/package}

fail() {
  echo "check-packages: $*" >&2
  exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$package_dir/CMakeCache.txt")
[ -n "$version" ] || fail "no configured build in $package_dir"
major=${version%%.*}
runtime_deb=$(ls "$package_dir"/decomprima_"$version"_*.deb 2>/dev/null) || fail "no decomprima .deb"
dev_deb=$(ls "$package_dir"/decomprima-dev_"$version"_*.deb 2>/dev/null) || fail "no decomprima-dev .deb"
archive=$(ls "$package_dir"/decomprima-"$version"-*.tar.gz 2>/dev/null) || fail "no .tar.gz"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# "path" for files and directories, "path -> target" for links, sorted;
# directories are left out (they belong to every package).
deb_files() {
  dpkg-deb -c "$1" | awk '$1 !~ /^d/ { $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' | sort
}

# The library directory, as installed (/usr/lib or a multiarch directory).
libdir=$(deb_files "$runtime_deb" | sed -n "s|^\./\(usr/lib.*\)/libdecomprima\.so\.$major -> .*|\1|p")
[ -n "$libdir" ] || fail "$runtime_deb has no libdecomprima.so.$major"

expect() {
  local deb=$1
  shift
  printf '%s\n' "$@" | sort >"$work/expected"
  deb_files "$deb" >"$work/actual"
  if ! diff -u --label expected --label "$(basename "$deb")" "$work/expected" "$work/actual"; then
    fail "$(basename "$deb") does not hold the expected files"
  fi
  echo "check-packages: $(basename "$deb") holds the expected $(wc -l <"$work/expected") files"
}

expect "$runtime_deb" \
  "./usr/bin/decomprima" \
  "./usr/bin/decomprima-encode" \
  "./$libdir/libdecomprima.so.$version" \
  "./$libdir/libdecomprima.so.$major -> libdecomprima.so.$version" \
  "./usr/share/man/man1/decomprima.1" \
  "./usr/share/man/man1/decomprima-encode.1"

expect "$dev_deb" \
  "./usr/include/decomprima.h" \
  "./$libdir/libdecomprima.so -> libdecomprima.so.$major" \
  "./$libdir/cmake/decomprima/decomprimaConfig.cmake" \
  "./$libdir/cmake/decomprima/decomprimaConfigVersion.cmake" \
  "./$libdir/cmake/decomprima/decomprimaTargets.cmake" \
  "./$libdir/cmake/decomprima/decomprimaTargets-release.cmake" \
  "./$libdir/pkgconfig/decomprima.pc" \
  "./usr/share/man/man3/decomprima.3"

field() { dpkg-deb -f "$1" "$2"; }
[ "$(field "$dev_deb" Depends)" = "decomprima (= $version)" ] ||
  fail "decomprima-dev must depend on exactly decomprima $version, has: $(field "$dev_deb" Depends)"
field "$runtime_deb" Depends | grep -q 'libc6' || fail "decomprima does not depend on libc6"
dpkg-deb -I "$runtime_deb" shlibs | grep -qx "libdecomprima $major decomprima (>= $version)" ||
  fail "decomprima has no shlibs entry for libdecomprima $major"

# The archive: one tree with both parts, usable wherever it is unpacked.
tar -xzf "$archive" -C "$work"
tree=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name "decomprima-$version-*")
[ -d "$tree" ] || fail "$(basename "$archive") has no top directory decomprima-$version-*"
for file in bin/decomprima bin/decomprima-encode include/decomprima.h \
  "${libdir#usr/}/libdecomprima.so.$version" "${libdir#usr/}/pkgconfig/decomprima.pc" \
  "${libdir#usr/}/cmake/decomprima/decomprimaConfig.cmake" share/man/man3/decomprima.3; do
  [ -e "$tree/$file" ] || fail "$(basename "$archive") lacks $file"
done
"$tree/bin/decomprima-encode" examples/sample.txt "$work/sample.lzw"
"$tree/bin/decomprima" "$work/sample.lzw" "$work/sample.txt"
cmp -s "$work/sample.txt" examples/sample.txt || fail "the unpacked tools do not round-trip the sample"
[ "$(PKG_CONFIG_LIBDIR="$tree/${libdir#usr/}/pkgconfig" pkg-config --modversion decomprima)" = "$version" ] ||
  fail "pkg-config does not find the unpacked tree"
echo "check-packages: $(basename "$archive") works where it is unpacked"

if [ "$install" -eq 0 ]; then
  exit 0
fi
if [ "${CI:-}" != "true" ] || [ "$(id -u)" -ne 0 ]; then
  echo "check-packages: not installing: dpkg -i runs only on a CI machine (CI=true) as root"
  exit 0
fi
if dpkg-query -W -f='${Status}' decomprima 2>/dev/null | grep -q "install ok installed"; then
  fail "decomprima is installed already; not replacing it"
fi

purge() { dpkg --purge decomprima-dev decomprima >/dev/null 2>&1 || true; }
trap 'purge; rm -rf "$work"' EXIT
dpkg -i "$runtime_deb" "$dev_deb" >/dev/null

# The tools, through the system's library path.
[ "$(/usr/bin/decomprima --version)" = "decomprima $version" ] || fail "installed decomprima --version"
/usr/bin/decomprima examples/sample.lzw "$work/installed.txt"
cmp -s "$work/installed.txt" examples/sample.txt || fail "installed decomprima restores the sample wrongly"

# C through pkg-config and through the CMake package, with only the
# system's search paths.
# shellcheck disable=SC2046 # the flags are meant to split
cc -std=c89 -pedantic-errors -Wall -Wextra -Werror -o "$work/host" tests/consumers/host.c \
  $(env -u PKG_CONFIG_PATH -u PKG_CONFIG_LIBDIR pkg-config --cflags --libs decomprima)
"$work/host" examples/sample.lzw "$work/pkg-config.txt" >/dev/null
cmp -s "$work/pkg-config.txt" examples/sample.txt || fail "pkg-config host restores the sample wrongly"
cmake -S tests/consumers/cmake -B "$work/cmake-build" -G Ninja -DEXPECTED_VERSION="$version" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/host" examples/sample.lzw "$work/cmake.txt" >/dev/null
cmp -s "$work/cmake.txt" examples/sample.txt || fail "CMake host restores the sample wrongly"

# Python loads it by SONAME, so ldconfig must have run.
env -u DECOMPRIMA_LIBRARY python3 examples/python/restore.py examples/sample.lzw "$work/python.txt"
cmp -s "$work/python.txt" examples/sample.txt || fail "Python host restores the sample wrongly"

purge
[ ! -e "/$libdir/libdecomprima.so.$version" ] && [ ! -e /usr/include/decomprima.h ] ||
  fail "purging left files behind"
echo "check-packages: installed with dpkg -i, used from C, CMake and Python, purged"
