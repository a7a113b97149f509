#!/usr/bin/env bash
# One host-level case of the Windows build, run under wine: writes a code
# file, runs win_host.exe on it in its own process (a fatal stop ends that
# process), and compares the exit status, the exact bytes on stderr (the
# CRT writes CR LF there) and the restored file with what is expected.
#
# usage: run_case.sh BUILD_DIR SOURCE_DIR CASE [--expect-wrong]
# --expect-wrong flips the expected exit status of the case; CTest runs the
# case that way expecting failure, so a wine that reports every exit as 0
# cannot pass the suite.
set -euo pipefail

build=$1
source=$2
case_name=$3
flip=${4:-}

host="$build/tests/windows/win_host.exe"
dll="$build/decomprima.dll"
work="$build/tests/windows/cases/$case_name"
rm -rf "$work"
mkdir -p "$work"
code="$work/code"
restored="$work/restored"
expected_stderr="$work/expected-stderr"
expected_restored="$work/expected-restored"

invalid='Fichier de codes invalide!\r\n'
overflow='Depassement de capacite du dictionary!\r\n'

# The bytes of 3839 literal codes, i % 256 for i = 0..3838: 14 runs of
# 0..255 and one of 0..254.
full_dictionary_bytes() {
  local run short i
  printf -v run '\\%03o' {0..255}
  printf -v short '\\%03o' {0..254}
  for ((i = 0; i < 14; i++)); do printf "$run"; done
  printf "$short"
}

restored_path="$restored"
fail_node=()
code_path="$code"
expected_status=0
stderr_text=''
restored_must_exist=yes
case "$case_name" in
  empty)
    : > "$code"
    : > "$expected_restored" ;;
  abababa)
    printf '\x80\x10\x48\x50\x28\x24\x04' > "$code"
    printf 'ABABABA' > "$expected_restored" ;;
  reset)
    printf '\x80\x18\x4c\x50\x03\x1c\x0a\x02' > "$code"
    printf 'abccc' > "$expected_restored" ;;
  sample)
    cp "$source/examples/sample.lzw" "$code"
    cp "$source/examples/sample.txt" "$expected_restored" ;;
  full-then-reset)
    cp "$source/fuzz/corpus/decode/full-then-reset" "$code"
    { full_dictionary_bytes; printf 'ABAB'; } > "$expected_restored" ;;
  existing-restored-emptied)
    printf '\x80\x40\x40' > "$code"
    printf 'old content' > "$restored"
    : > "$expected_restored" ;;
  code-missing)
    code_path="$work/no-such-code-file"
    expected_status=1
    restored_must_exist=no ;;
  restored-uncreatable)
    printf '\x80\x10\x48\x50\x28\x24\x04' > "$code"
    restored_path="$work/no-such-dir/restored"
    expected_status=2
    restored_must_exist=no ;;
  code-directory)
    mkdir "$work/directory"
    code_path="$work/directory"
    expected_status=1
    restored_must_exist=no ;;
  restored-is-code)
    # Opening the restored file would empty the code file before it is read.
    printf '\x80\x10\x48\x50\x28\x24\x04' > "$code"
    cp "$code" "$expected_restored"
    restored_path="$code"
    expected_status=2 ;;
  code-null)
    code_path=-
    expected_status=1
    restored_must_exist=no ;;
  first-not-init)
    printf '\x00\x00\x00' > "$code"
    expected_status=4
    stderr_text=$invalid
    : > "$expected_restored" ;;
  above-next-free)
    printf '\x80\x18\x60\x70\x10' > "$code"
    expected_status=4
    stderr_text=$invalid
    printf 'a' > "$expected_restored" ;;
  truncated)
    printf '\x80\x10\x60' > "$code"
    expected_status=4
    stderr_text=$invalid
    printf 'A' > "$expected_restored" ;;
  overflow)
    cp "$source/fuzz/corpus/decode/full-then-literal" "$code"
    expected_status=5
    stderr_text=$overflow
    full_dictionary_bytes > "$expected_restored" ;;
  out-of-memory)
    printf '\x80\x10\x48\x50\x28\x24\x04' > "$code"
    fail_node=(100)
    expected_status=3
    : > "$expected_restored" ;;
  *)
    echo "run_case: unknown case $case_name" >&2
    exit 2 ;;
esac
printf "$stderr_text" > "$expected_stderr"

if [ "$flip" = --expect-wrong ]; then
  expected_status=$(( expected_status == 0 ? 4 : 0 ))
fi

status=0
wine "$host" "$dll" "$code_path" "$restored_path" "${fail_node[@]}" \
  < /dev/null > "$work/stdout" 2> "$work/stderr" || status=$?

failed=0
if [ "$status" -ne "$expected_status" ]; then
  echo "exit status $status, expected $expected_status"
  failed=1
fi
if ! cmp -s "$work/stderr" "$expected_stderr"; then
  echo "stderr bytes differ; got:"
  od -c "$work/stderr" | head -n 20
  echo "expected:"
  od -c "$expected_stderr"
  failed=1
fi
if [ "$restored_must_exist" = yes ]; then
  if ! cmp -s "$restored_path" "$expected_restored"; then
    echo "restored file differs from $expected_restored"
    failed=1
  fi
elif [ -e "$restored_path" ]; then
  echo "restored file was created"
  failed=1
fi
if [ "$failed" -eq 0 ]; then
  echo "$case_name: ok (exit $status)"
fi
exit "$failed"
