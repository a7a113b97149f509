/*
 * Streaming LZW encoder for the code files that decomprima() restores.
 *
 * Feed it input in pieces of any size; it hands packed code bytes to a
 * sink in blocks. Memory is constant (the encoder struct, about 160 KiB),
 * whatever the input size. The stream it writes:
 *   - starts with the initialization code 256 and ends with the end code
 *     257; an empty input gives an empty code file;
 *   - writes every code at the width the decoder reads it: 9 bits after
 *     each 256, one more as the decoder's next free entry reaches 511,
 *     1023, 2047 and 4095;
 *   - sends 256 when the table is full (all 3838 entries, 258-4095, the
 *     last codes 13 bits wide) before the next literal or string code, and
 *     earlier when watching the compression ratio says a fresh dictionary
 *     will do better.
 */
#ifndef DECOMPRIMA_LZW_ENCODER_H
#define DECOMPRIMA_LZW_ENCODER_H

#include <cstddef>
#include <cstdint>

/* Receives packed bytes; returns false when they could not be written. */
typedef bool (*lzw_sink)(void *context, const uint8_t *data, size_t size);

constexpr uint32_t lzw_hash_bits = 14;
constexpr size_t lzw_output_block = 1 << 16;

/* What changes with every code; lzw_encoder_feed() keeps a copy in
   registers while it runs. */
struct lzw_code_state {
    uint64_t bit_acc;         /* pending output bits, the newest lowest */
    unsigned bit_count;       /* how many: 0 to 31 between codes */
    size_t out_len;           /* bytes waiting in out */
    unsigned width;           /* width of the next code */
    uint32_t decoder_next;    /* the decoder's next free code as it reads our next code */
    bool generation_empty;    /* no literal or string code since the last 256 */
    uint32_t next_entry;      /* code of the next entry we add, 258..4096 */
    uint64_t generation_bits; /* bits written since the generation's 256 */
    uint32_t window_codes;    /* codes in the current ratio window */
};

struct lzw_encoder {
    lzw_sink sink;
    void *sink_context;
    bool sink_failed;
    bool started;
    bool have_prefix;
    uint32_t prefix; /* code of the string matched so far */
    lzw_code_state state;

    /* Ratio watch. Positions count input bytes from the start. */
    uint64_t fed;               /* input bytes before the current piece */
    uint64_t generation_start;  /* where the generation began */
    uint64_t next_check;        /* next checkpoint, in bytes into the generation */
    uint64_t checked_ratio;     /* bytes per bit at the last checkpoint, 16.16 */
    uint64_t window_start;      /* where the current window began */
    uint64_t window_bits_start; /* generation_bits then */
    uint64_t first_window_cost; /* bits per byte of the generation's first window, 16.16 */

    /* (prefix code << 8 | byte) << 12 | entry code, 0 for a free slot;
       keys fit in 20 bits since prefix codes are below 4096. */
    uint32_t hash[1u << lzw_hash_bits];
    /* The child each code was last extended to: byte << 12 | code. */
    uint32_t last_child[4096];
    /* The hash slot of each entry, to clear a generation's entries only. */
    uint16_t entry_slot[4096];

    uint8_t out[lzw_output_block + 16];
};

void lzw_encoder_start(lzw_encoder *encoder, lzw_sink sink, void *context);
/* Returns false once the sink has failed. */
bool lzw_encoder_feed(lzw_encoder *encoder, const uint8_t *data, size_t size);
/* Ends the stream (end code, last partial byte) and flushes it; returns
   false if the sink failed at any point. */
bool lzw_encoder_finish(lzw_encoder *encoder);

#endif
