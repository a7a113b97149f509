#!/usr/bin/env bash
# Writes the fuzzers' seed corpus: hand-made edge cases, and small valid
# streams at each code width made with the encoder.
# usage: fuzz/make-seed-corpus.sh PATH/TO/decomprima-encode
set -euo pipefail
encoder=${1:?usage: make-seed-corpus.sh PATH/TO/decomprima-encode}
here=$(cd "$(dirname "$0")" && pwd)
decode=$here/corpus/decode
roundtrip=$here/corpus/roundtrip
mkdir -p "$decode" "$roundtrip"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$decode" "$work" <<'PY'
import sys, os
decode, work = sys.argv[1], sys.argv[2]
hand = {
    "init-end": "804040", "kwkwk": "8018605010", "abababa": "80104850282404",
    "reset-reuses-258": "80184C50031C0A02", "init-init-end": "80402020",
    "trailing-bytes": "8018605010FFFF", "end-completed-past-end": "801048443221148C4780",
    "end-missing": "801048443221148C47", "first-literal": "000000", "first-end": "8080",
    "single-80": "80", "single-FF": "FF", "above-next-free": "8018607010",
    "past-end-literal": "8010", "past-end-string": "8040", "past-end-high": "801060",
}
for name, hexa in hand.items():
    open(os.path.join(decode, name), "wb").write(bytes.fromhex(hexa))

def pack(codes):
    """Codes at the widths the decoder reads them."""
    out, acc, bits, width, next_free, empty = bytearray(), 0, 0, 9, 258, True
    for c in codes:
        acc, bits = (acc << width) | c, bits + width
        while bits >= 8:
            bits -= 8
            out.append((acc >> bits) & 0xFF)
        if c == 256:
            width, next_free, empty = 9, 258, True
        elif c == 257:
            pass
        elif empty:
            empty = False
        elif next_free < 4096:
            next_free += 1
            if (1 << width) == next_free + 1:
                width += 1
    if bits:
        out.append((acc << (8 - bits)) & 0xFF)
    return bytes(out)

packed = {
    "string-opening-stream": [256, 258, 257],
    "string-after-reset": [256, 65, 66, 258, 256, 258, 257],
    "deepest": [256, 97] + list(range(258, 4096)) + [257],
    "full-then-literal": [256] + [i % 256 for i in range(3839)] + [5, 257],
    "full-then-reset": [256] + [i % 256 for i in range(3839)] + [256, 65, 66, 258, 257],
}
for name, codes in packed.items():
    open(os.path.join(decode, name), "wb").write(pack(codes))

# Inputs for the encoder: no pair repeats, so one code per byte; sizes
# around the width changes and the full table.
seq = []
a = [0] * 3
def db(t, p):
    if len(seq) >= 8000: return
    if t > 2:
        if 2 % p == 0: seq.extend(a[1:p + 1])
    else:
        a[t] = a[t - p]; db(t + 1, p)
        for j in range(a[t - p] + 1, 256):
            a[t] = j; db(t + 1, t)
db(1, 1)
for n in (1, 2, 255, 256, 767, 1791, 3839, 3840):
    open(os.path.join(work, "literals-%d" % n), "wb").write(bytes(seq[:n]))
open(os.path.join(work, "run-a"), "wb").write(b"a" * 3000)
PY

for input in "$work"/*; do
  "$encoder" "$input" "$decode/$(basename "$input").lzw"
done
"$encoder" "$here/../examples/sample.txt" "$decode/sample.lzw"
cp "$here/../examples/sample.txt" "$roundtrip/sample.txt"
printf '' > "$roundtrip/empty"
printf 'A' > "$roundtrip/one-byte"
head -c 3000 /dev/zero > "$roundtrip/zeros"
python3 -c "import sys; sys.stdout.buffer.write(bytes(range(256)) * 4)" > "$roundtrip/all-bytes"
