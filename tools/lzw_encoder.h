/*
 * Streaming LZW encoder for the code files that decomprima() restores.
 *
 * Feed it input in pieces of any size; it hands packed code bytes to a
 * sink in blocks. Memory is constant (the encoder struct, about 80 KiB),
 * whatever the input size. The stream it writes:
 *   - starts with the initialization code 256 and ends with the end code
 *     257; an empty input gives an empty code file;
 *   - writes every code at the width the decoder reads it: 9 bits after
 *     each 256, one more as the decoder's next free entry reaches 511,
 *     1023, 2047 and 4095;
 *   - uses all 3838 entries (258-4095) of a generation and then sends 256
 *     before the next literal or string code, and also sends 256 earlier
 *     when the compression ratio of the current generation falls off.
 */
#ifndef DECOMPRIMA_LZW_ENCODER_H
#define DECOMPRIMA_LZW_ENCODER_H

#include <cstddef>
#include <cstdint>

/* Receives packed bytes; returns false when they could not be written. */
typedef bool (*lzw_sink)(void *context, const uint8_t *data, size_t size);

constexpr uint32_t lzw_hash_bits = 14;
constexpr size_t lzw_output_block = 1 << 16;

struct lzw_encoder {
    lzw_sink sink;
    void *sink_context;
    bool sink_failed;
    bool started;

    /* (prefix code << 8 | byte) << 12 | entry code, 0 for a free slot;
       keys fit in 20 bits since prefix codes are below 4096. */
    uint32_t hash[1u << lzw_hash_bits];

    uint32_t prefix;         /* code of the string matched so far */
    bool have_prefix;
    uint32_t next_entry;     /* code the next added entry gets, 258..4096 */
    uint32_t decoder_next;   /* the decoder's next free code when it reads our next code */
    bool generation_empty;   /* no literal or string code since the last 256 */
    unsigned width;          /* width of the next code */

    /* Ratio watch: where the generation began in the input, and the bits
       it has written since its 256. */
    uint64_t fed;            /* input bytes before the current piece */
    uint64_t generation_start;
    uint64_t generation_bits;
    uint64_t next_check;
    uint64_t best_ratio;     /* input bytes per output bit, fixed point */

    uint64_t bit_acc;
    unsigned bit_count;
    size_t out_len;
    uint8_t out[lzw_output_block + 16];
};

void lzw_encoder_start(lzw_encoder *encoder, lzw_sink sink, void *context);
/* Returns false once the sink has failed. */
bool lzw_encoder_feed(lzw_encoder *encoder, const uint8_t *data, size_t size);
/* Ends the stream (end code, last partial byte) and flushes it; returns
   false if the sink failed at any point. */
bool lzw_encoder_finish(lzw_encoder *encoder);

#endif
