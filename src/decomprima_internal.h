/*
 * Process-wide decoding state shared by the three parts of the decoder:
 * the entry and decoding loop (decomprima.cpp), the code reader and byte
 * writer (bitstream.cpp) and the dictionary with string emission
 * (dictionary.cpp). One decode lives entirely inside one call of
 * decomprima(); the lock in decomprima() keeps decodes from overlapping.
 *
 * Nothing here is exported: the library is compiled with hidden
 * visibility, so these names never meet a host's symbols.
 */
#ifndef DECOMPRIMA_INTERNAL_H
#define DECOMPRIMA_INTERNAL_H

#include <cstdint>
#include <cstdio>
#include <cstring>

/* ---- Messages of the fatal stops, written verbatim to stderr. ---- */

constexpr const char message_invalid_code_file[] = "Fichier de codes invalide!\n";
constexpr const char message_dictionary_overflow[] = "Depassement de capacite du dictionary!\n";

/* Exit statuses of the fatal stops. */
constexpr int status_out_of_memory = 3;
constexpr int status_invalid_code_file = 4;
constexpr int status_dictionary_overflow = 5;

/*
 * The one way a decode fails: writes message (if not null) to stderr,
 * closes source_file then dest_file, and ends the process with status.
 * A build that defines DECOMPRIMA_INTERCEPT_FATAL_STOP (the in-process
 * fuzzer) hands control to decomprima_fatal_stop_hook() instead of
 * exiting; that hook must not return.
 */
[[noreturn]] void fatal_stop(int status, const char *message);

#ifdef DECOMPRIMA_INTERCEPT_FATAL_STOP
[[noreturn]] void decomprima_fatal_stop_hook(int status);
#endif

/* ---- Entry and decoding loop (decomprima.cpp). ---- */

/* The open code file and restored file of the current decode; between
   decodes they refer to closed streams and are never used. */
extern FILE *source_file;
extern FILE *dest_file;

void lzwdecoding();

/* ---- Code reader and byte writer (bitstream.cpp). ---- */

/* 1 from the look-ahead read until read_code_lr() takes that byte, else 0. */
extern int32_t byte_stored_status;
/* The look-ahead read's whole result: 0-255, or EOF for an empty file. */
extern int32_t byte_stored_val;
/* The byte-by-byte path's accumulator: bits taken in and not yet
   consumed, right-aligned, oldest bit highest, and how many (0 to 7
   between two codes). Those bits are always the low bits of the last byte
   taken in, so between codes the reader's place in the block, input_bit,
   says the same: the fast path keeps only input_bit. */
extern uint32_t val_to_read;
extern uint8_t bit_counter_to_read;
/* Output bits not yet written. Symbols are 8 bits wide, so between two
   characters both are 0 and nothing is ever pending at the end. */
extern uint32_t val_to_write;
extern uint8_t bit_counter_to_write;

/* The code file is read in blocks of whatever one read() returns, never
   more than a code needs. input_block[input_position, input_end) has been
   read and not yet taken in; input_block[0] keeps the last byte taken in
   when a new block starts, and the data begin at 1. Every byte taken in
   passes through the block: the look-ahead byte and the FF bytes past the
   end too. input_at_end is set once the file has reported its end. The
   stream itself is unbuffered, so no byte hides in it. */
constexpr uint32_t input_block_size = 1u << 17;
/* Room for an 8-byte load at any byte of the block. */
constexpr uint32_t input_slack = 8;
extern uint8_t input_block[input_block_size + input_slack];
extern uint32_t input_position;
extern uint32_t input_end;
extern bool input_at_end;
/* The next unread bit, counted from bit 7 of input_block[0]: always
   input_position * 8 - bit_counter_to_read. */
extern uint32_t input_bit;

/*
 * The restored bytes are gathered in output_window and written to
 * dest_file in large blocks. The window also serves the dictionary: every
 * entry's string once stood, contiguous, in the output, so an entry can be
 * copied from there while those bytes are still in the window.
 *
 *   [0, 256)                          the 256 literal bytes, set up by
 *                                     init_dictionary1 and never moved
 *   [output_window_start, output_written)   already in dest_file, kept as
 *                                     history for the dictionary
 *   [output_written, output_position)   restored, not yet written
 *   [output_position, end)            free; at least output_slack bytes
 *                                     whenever a string is emitted
 *
 * When the window fills, slide_output() writes the pending bytes and moves
 * the newest output_keep bytes down to output_window_start.
 */
constexpr uint32_t output_window_start = 256;
constexpr uint32_t output_window_size = 1u << 20;
constexpr uint32_t output_keep = 1u << 16;
/* One string (at most 3839 bytes, 4096 in a broken table before the walk
   refuses it) plus the 16 bytes a chunked copy may write past its end. */
constexpr uint32_t output_slack = 4096 + 64;
extern uint8_t output_window[output_window_size];
extern uint32_t output_position;
extern uint32_t output_written;

/* The 8 bytes at p as one big-endian number: the code reader's load. */
inline uint64_t load_big_endian64(const uint8_t *p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
#if defined(__GNUC__)
    return __builtin_bswap64(v);
#else
    return (v >> 56) | ((v >> 40) & 0xFF00) | ((v >> 24) & 0xFF0000) | ((v >> 8) & 0xFF000000) |
           ((v & 0xFF000000) << 8) | ((v & 0xFF0000) << 24) | ((v & 0xFF00) << 40) | (v << 56);
#endif
}

uint32_t read_code_lr();
void write_output(uint32_t value);
void complete_output();
/* Writes what the window holds to dest_file (also on a fatal stop). */
void flush_output();
/* Writes the pending bytes and slides the window down; returns by how many
   bytes every position in the window moved. */
uint32_t slide_output();

/* ---- Dictionary and string emission (dictionary.cpp). ---- */

/* One dictionary entry: a string is a chain of nodes from the entry back
   to a root (a literal node without predecessor); each node holds the
   last character of its string. */
typedef struct s_dic_link *p_dic_link;
typedef struct s_dic_link {
    uint32_t character;
    p_dic_link predecessor;
} t_dic_link;

/*
 * Between two codes of a decode (from init_dictionary1 to
 * remove_dictionary):
 *  - every slot holds its own node, allocated at set-up and reused across
 *    resets;
 *  - slots 0-255 are roots whose character is their own code;
 *  - slots 258 to index_dic - 1 are the entries added since the last
 *    set-up or reset; each chain ends at a literal root within at most
 *    index_dic - 258 steps, so no chain loops;
 *  - slots 256, 257 and index_dic to 4095 have no predecessor;
 *  - 258 <= index_dic <= index_dic_max (4096), and bit_counter_decoding is
 *    the width of the next code: 9, growing by one as index_dic reaches
 *    511, 1023, 2047 and 4095, never above 13.
 */
extern p_dic_link dictionary[4096];
extern uint32_t index_dic;
extern uint32_t index_dic_max;
extern uint8_t bit_counter_decoding;
extern uint8_t bit_counter_min_decoding;
extern uint8_t output_bit_counter;
extern uint32_t initialization_code;
extern uint32_t end_information_code;

/* Side table of the entries: where in output_window the entry's string
   stands (it was written there whole, see add_string) and its length, as
   start << 12 | length. Once those bytes have left the window the start
   becomes span_gone, a position no string can start at, and the length
   stays: the entry made from it next still needs it. Window positions take
   20 bits, lengths (at most 3839) 12. Literal k stands at k. */
extern uint32_t entry_span[4096];
constexpr uint32_t span_length_bits = 12;
constexpr uint32_t span_length_mask = (1u << span_length_bits) - 1;
constexpr uint32_t span_gone = (1u << (32 - span_length_bits)) - 1;
/* Where the string of the current code was emitted. */
extern uint32_t string_start;

/* Copies a string that stands earlier in the window to the end of the
   output, 16 bytes at a time. It may write up to 15 bytes past the string,
   into the free part of the window (output_slack), where later strings
   overwrite them. The source ends at or before dst, so every byte of the
   string is read before anything is written over it; what a chunk reads
   beyond the string only lands in those spare bytes. */
inline void copy_string(uint8_t *dst, const uint8_t *src, uint32_t length)
{
    uint8_t *end = dst + length;
    do {
        uint8_t chunk[16];
        std::memcpy(chunk, src, sizeof chunk);
        std::memcpy(dst, chunk, sizeof chunk);
        dst += 16;
        src += 16;
    } while (dst < end);
}

void init_dictionary1();
void init_dictionary2();
void remove_dictionary();
void add_string(uint32_t code, uint32_t first_char);
uint32_t write_string(uint32_t pred_code, uint32_t current_code, uint32_t first_char);
void write_link(p_dic_link chainage, uint32_t *character);

#endif /* DECOMPRIMA_INTERNAL_H */
