/*
 * Code reader and byte writer: takes variable-width codes out of the code
 * file, most significant bit first, and puts 8-bit symbols into the
 * restored file. Both sides work on blocks: the code file is read into
 * input_block, the restored bytes are gathered in output_window.
 */
#include "decomprima_internal.h"

#include <cstring>

#if defined(_WIN32)
#  include <io.h>
#else
#  include <unistd.h>
#endif

int32_t byte_stored_status;
int32_t byte_stored_val;
uint64_t val_to_read;
uint8_t bit_counter_to_read;
uint32_t val_to_write;
uint8_t bit_counter_to_write;

uint8_t input_block[input_block_size];
uint32_t input_position;
uint32_t input_end;
bool input_at_end;

uint8_t output_window[output_window_size];
uint32_t output_position;
uint32_t output_written;

/* One read() of what the code file has ready, at most a block. A pipe
   whose writer stays open gives what it holds instead of waiting for a
   full block, so the decode never waits for bytes it does not need. */
static int read_block()
{
#if defined(_WIN32)
    return _read(_fileno(source_file), input_block, input_block_size);
#else
    return static_cast<int>(read(fileno(source_file), input_block, input_block_size));
#endif
}

/* The next byte of the code file. The end of the file, and a read error,
   give FF: a truncated code file goes on as 1 bits, and a code made only
   of them is always above index_dic. As with a stream's byte read, the end
   is final while a failed read is tried again for the next byte. */
static uint32_t next_input_byte()
{
    if (input_position < input_end)
        return input_block[input_position++];
    if (input_at_end)
        return 0xFF;
    int n = read_block();
    if (n <= 0) {
        input_at_end = n == 0;
        return 0xFF;
    }
    input_end = static_cast<uint32_t>(n);
    input_position = 1;
    return input_block[0];
}

static inline uint64_t load_big_endian64(const uint8_t *p)
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

/* Byte by byte, only as many bytes as the code needs: used for the
   look-ahead byte, near the end of a block and past the end of the file. */
static uint32_t read_code_slowly()
{
    /* Drop the bits below the counted ones, which the fast path may have
       left there; whole bytes are OR-ed in below them. */
    val_to_read = bit_counter_to_read != 0 ? val_to_read & (~uint64_t{0} << (64 - bit_counter_to_read)) : 0;
    while (bit_counter_to_read < bit_counter_decoding) {
        uint32_t byte;
        if (byte_stored_status != 0) {
            byte_stored_status = 0;
            byte = static_cast<uint32_t>(byte_stored_val) & 0xFF;
        } else {
            byte = next_input_byte();
        }
        val_to_read |= static_cast<uint64_t>(byte) << (56 - bit_counter_to_read);
        bit_counter_to_read = static_cast<uint8_t>(bit_counter_to_read + 8);
    }
    uint32_t read_code = static_cast<uint32_t>(val_to_read >> (64 - bit_counter_decoding));
    val_to_read <<= bit_counter_decoding;
    bit_counter_to_read = static_cast<uint8_t>(bit_counter_to_read - bit_counter_decoding);
    return read_code;
}

uint32_t read_code_lr()
{
    /* Fast path, with 8 bytes of the block in hand: top the accumulator up
       to 56-63 bits with one load, whatever it holds, without a branch per
       byte. The bytes added are exactly those whose bits are counted; the
       bits below them belong to the next byte, which the next load ORs in
       again at the same place. A code needs at most 13 bits, so it always
       comes out whole. The look-ahead byte is taken by the slow path: the
       block is empty until then. */
    if (input_end - input_position >= 8) {
        val_to_read |= load_big_endian64(input_block + input_position) >> bit_counter_to_read;
        input_position += (63u - bit_counter_to_read) >> 3;
        bit_counter_to_read |= 56;
        uint32_t read_code = static_cast<uint32_t>(val_to_read >> (64 - bit_counter_decoding));
        val_to_read <<= bit_counter_decoding;
        bit_counter_to_read = static_cast<uint8_t>(bit_counter_to_read - bit_counter_decoding);
        return read_code;
    }
    return read_code_slowly();
}

/* Appends one symbol to the window. Symbols are 8 bits wide, so each call
   completes exactly one byte; the caller has made room (output_slack). */
void write_output(uint32_t value)
{
    val_to_write = (val_to_write << output_bit_counter) | value;
    bit_counter_to_write = static_cast<uint8_t>(bit_counter_to_write + output_bit_counter);
    while (bit_counter_to_write >= 8) {
        bit_counter_to_write = static_cast<uint8_t>(bit_counter_to_write - 8);
        output_window[output_position++] = static_cast<uint8_t>(val_to_write >> bit_counter_to_write);
        val_to_write &= (1u << bit_counter_to_write) - 1;
    }
}

/* Write errors are collected by the stream and checked when the file is
   closed. */
void flush_output()
{
    if (output_position > output_written)
        fwrite(output_window + output_written, 1, output_position - output_written, dest_file);
    output_written = output_position;
}

uint32_t slide_output()
{
    flush_output();
    uint32_t history = output_position - output_window_start;
    uint32_t keep = history < output_keep ? history : output_keep;
    uint32_t shift = history - keep;
    std::memmove(output_window + output_window_start, output_window + output_window_start + shift, keep);
    output_position -= shift;
    output_written = output_position;
    return shift;
}

void complete_output()
{
    if (bit_counter_to_write > 0)
        output_window[output_position++] = static_cast<uint8_t>(val_to_write << (8 - bit_counter_to_write));
    flush_output();
    bit_counter_to_write = 0;
    val_to_write = 0;
}
