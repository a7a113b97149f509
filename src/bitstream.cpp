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
uint32_t val_to_read;
uint8_t bit_counter_to_read;
uint32_t val_to_write;
uint8_t bit_counter_to_write;

uint8_t input_block[input_block_size + input_slack];
uint32_t input_position;
uint32_t input_end;
bool input_at_end;
uint32_t input_bit;

uint8_t output_window[output_window_size];
uint32_t output_position;
uint32_t output_written;

/* One read() of what the code file has ready, at most what the block can
   take. A pipe whose writer stays open gives what it holds instead of
   waiting for a full block, so the decode never waits for bytes it does
   not need. */
static int read_block(uint8_t *into, uint32_t size)
{
#if defined(_WIN32)
    return _read(_fileno(source_file), into, size);
#else
    return static_cast<int>(read(fileno(source_file), into, size));
#endif
}

/* Makes input_block[input_position] the next byte of the code file: the
   look-ahead byte first, then what the file gives. The end of the file,
   and a read error, give FF: a truncated code file goes on as 1 bits, and
   a code made only of them is always above index_dic. As with a stream's
   byte read, the end is final while a failed read is tried again for the
   next byte. */
static void fetch_input_byte()
{
    if (input_position < input_end)
        return;
    /* Block used up: start again, keeping the last byte taken in. */
    input_block[0] = input_block[input_end - 1];
    input_position = input_end = 1;
    if (byte_stored_status != 0) {
        byte_stored_status = 0;
        input_block[input_end++] = static_cast<uint8_t>(byte_stored_val);
        return;
    }
    if (!input_at_end) {
        int n = read_block(input_block + 1, input_block_size - 1);
        if (n > 0) {
            input_end += static_cast<uint32_t>(n);
            return;
        }
        input_at_end = n == 0;
    }
    input_block[input_end++] = 0xFF;
}

/* Byte by byte, taking in only the bytes the code needs: for the
   look-ahead byte, at the end of a block and past the end of the file. */
static uint32_t read_code_slowly()
{
    input_position = (input_bit + 7) >> 3;
    bit_counter_to_read = static_cast<uint8_t>((0u - input_bit) & 7);
    val_to_read = input_block[input_position - 1] & ((1u << bit_counter_to_read) - 1);
    while (bit_counter_to_read < bit_counter_decoding) {
        fetch_input_byte();
        val_to_read = (val_to_read << 8) | input_block[input_position++];
        bit_counter_to_read = static_cast<uint8_t>(bit_counter_to_read + 8);
    }
    bit_counter_to_read = static_cast<uint8_t>(bit_counter_to_read - bit_counter_decoding);
    uint32_t read_code = val_to_read >> bit_counter_to_read;
    val_to_read &= (1u << bit_counter_to_read) - 1;
    input_bit = input_position * 8 - bit_counter_to_read;
    return read_code;
}

uint32_t read_code_lr()
{
    /* Fast path, while the block holds the (at most two) bytes the code
       still needs beyond the partly read one: one 8-byte load from the
       byte that holds the next bit (input_slack keeps it inside the array)
       holds the whole code; the bits after the code are shifted out,
       whatever they are. It takes the same bits as the byte-by-byte path. */
    uint32_t bit = input_bit;
    if ((bit >> 3) + 3 <= input_end) {
        uint64_t bits = load_big_endian64(input_block + (bit >> 3)) << (bit & 7);
        input_bit = bit + bit_counter_decoding;
        return static_cast<uint32_t>(bits >> (64 - bit_counter_decoding));
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
        output_window[output_position++] =
            static_cast<uint8_t>(val_to_write >> bit_counter_to_write);
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
    std::memmove(output_window + output_window_start, output_window + output_window_start + shift,
                 keep);
    output_position -= shift;
    output_written = output_position;
    return shift;
}

void complete_output()
{
    if (bit_counter_to_write > 0)
        output_window[output_position++] =
            static_cast<uint8_t>(val_to_write << (8 - bit_counter_to_write));
    flush_output();
    bit_counter_to_write = 0;
    val_to_write = 0;
}
