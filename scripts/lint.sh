#!/usr/bin/env bash
# Style and static checks, run by CI and before a commit:
#   scripts/lint.sh format [--fix]  clang-format over the C and C++ sources;
#                                   fails on any difference (--fix rewrites)
#   scripts/lint.sh man             the man pages render without warnings
#   scripts/lint.sh tidy            clang-tidy over src/ (checks in .clang-tidy)
#   scripts/lint.sh                 all three, without --fix
set -euo pipefail
cd "$(dirname "$0")/.."

# The first tool found; the versioned names come first because other
# clang-format versions lay out a few constructs differently.
pick() {
  local tool
  for tool in "$@"; do
    if command -v "$tool" >/dev/null 2>&1; then
      echo "$tool"
      return
    fi
  done
  echo "lint: none of $* found (scripts/install-deps.sh installs them)" >&2
  exit 1
}

sources() {
  git ls-files -- src include tools tests fuzz bench examples | grep -E '\.(c|cpp|h)$'
}

check_format() {
  local clang_format
  clang_format=$(pick clang-format-14 clang-format)
  if [ "${1:-}" = "--fix" ]; then
    sources | xargs "$clang_format" -i
    return
  fi
  local file failed=0
  while read -r file; do
    if ! "$clang_format" "$file" | diff -u --label "$file" --label "$file (clang-format)" "$file" -; then
      failed=1
    fi
  done < <(sources)
  if [ "$failed" -ne 0 ]; then
    echo "lint: formatting differs; scripts/lint.sh format --fix rewrites it" >&2
    return 1
  fi
  echo "lint: format clean"
}

check_man() {
  local page warnings failed=0
  for page in man/*.[0-9]; do
    # -ww: every warning; -z: render to nothing. groff exits 0 on most
    # warnings, so any output at all is a failure.
    warnings=$(LC_ALL=C.UTF-8 groff -man -ww -z "$page" 2>&1 || echo "groff failed on $page")
    if [ -n "$warnings" ]; then
      echo "$page: $warnings" >&2
      failed=1
    fi
  done
  [ "$failed" -eq 0 ] || return 1
  echo "lint: man pages clean"
}

check_tidy() {
  local clang_tidy build=build/tidy
  clang_tidy=$(pick clang-tidy-14 clang-tidy)
  # A configure is enough: the library has no generated sources.
  cmake -S . -B "$build" -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DBUILD_TESTING=OFF -DDECOMPRIMA_BUILD_TOOLS=OFF -DDECOMPRIMA_BUILD_BENCH=OFF >/dev/null
  local out
  if ! out=$("$clang_tidy" --quiet -p "$build" src/*.cpp 2>&1); then
    grep -v 'warnings generated' <<<"$out" >&2
    return 1
  fi
  echo "lint: clang-tidy clean"
}

case "${1:-all}" in
  format) check_format "${2:-}" ;;
  man) check_man ;;
  tidy) check_tidy ;;
  all)
    check_format
    check_man
    check_tidy
    ;;
  *)
    echo "usage: scripts/lint.sh [format [--fix] | man | tidy]" >&2
    exit 64
    ;;
esac
