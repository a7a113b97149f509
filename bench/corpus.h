// Deterministic benchmark corpus, made on the fly: the same bytes on every
// machine and every run (own generator, no library distributions).
#ifndef DECOMPRIMA_BENCH_CORPUS_H
#define DECOMPRIMA_BENCH_CORPUS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using bytes = std::vector<uint8_t>;

struct corpus_file {
    std::string name;
    bytes data;
};

bytes make_text(size_t size);    // English-like words, sentences, paragraphs
bytes make_binary(size_t size);  // executable-like: code, strings, tables, padding
bytes make_image(size_t size);   // 8-bit raster, smooth with noise, 4096 wide
bytes make_runs(size_t size);    // runs of one byte, 4 KiB to 1 MiB long
bytes make_random(size_t size);  // incompressible

// The five inputs above, each of the given size.
std::vector<corpus_file> make_corpus(size_t size);

// A code file (not an input): after each initialization code the literal
// 97 and 258, 259, ..., 4095, each naming the entry being made, repeated
// until it restores at least min_output bytes, then the end code.
bytes make_deepest_code_file(size_t min_output, size_t *restored_size);

#endif
