#!/usr/bin/env bash
# Reads the built decomprima.dll as a Windows host would see it: its export
# table must hold exactly one name, the plain "decomprima"; it must import
# only the system's own DLLs; and the exported code must be a stdcall
# function that removes its two 4-byte arguments (every return is
# `ret $0x8`).
#
# usage: check_dll.sh OBJDUMP NM DLL
set -euo pipefail

objdump=$1
nm=$2
dll=$3
failed=0

headers=$("$objdump" -p "$dll")

# Names from the "[Ordinal/Name Pointer] Table" block.
exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {in_table=1; next}
       in_table && /^[[:space:]]*$/ {exit}
       in_table {print $NF}' <<< "$headers")
if [ "$exports" != decomprima ]; then
  echo "exports: expected exactly \"decomprima\", got:"
  printf '%s\n' "$exports"
  failed=1
fi

allowed='^(kernel32|msvcrt|ntdll|user32|advapi32)\.dll$'
while read -r name; do
  if ! printf '%s\n' "$name" | tr '[:upper:]' '[:lower:]' | grep -Eq "$allowed"; then
    echo "imports a DLL that is not the system's own: $name"
    failed=1
  fi
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<< "$headers")

# The exported address, as ImageBase + the export's RVA, and the symbol
# that sits there.
image_base=$(awk '$1 == "ImageBase" {print $2; exit}' <<< "$headers")
export_rva=$(awk '/^Export Address Table -- Ordinal Base/ {getline; print $(NF-2); exit}' <<< "$headers")
address=$(printf '%08x' $((0x$image_base + 0x$export_rva)))
symbol=$(awk -v a="$address" 'tolower($1) == a && ($2 == "T" || $2 == "t") && $3 !~ /^\./ && !found {found = $3}
  END {print found}' < <("$nm" "$dll"))
if [ -z "$symbol" ]; then
  echo "no code symbol at the exported address 0x$address"
  exit 1
fi
rets=$("$objdump" -d --no-show-raw-insn "--disassemble=$symbol" "$dll" | grep -E '[[:space:]]ret[lw]?([[:space:]]|$)' || true)
if [ -z "$rets" ]; then
  echo "no return found in $symbol"
  failed=1
elif grep -vqE 'ret[l]?[[:space:]]+\$0x8$' <<< "$rets"; then
  echo "$symbol does not remove its 8 bytes of arguments on every return:"
  printf '%s\n' "$rets"
  failed=1
fi

if [ "$failed" -eq 0 ]; then
  echo "export \"decomprima\" ($symbol at 0x$address), stdcall, system imports only"
fi
exit "$failed"
