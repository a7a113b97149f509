/*
 * Code reader and byte writer: takes variable-width codes out of the code
 * file, most significant bit first, and puts 8-bit symbols into the
 * restored file.
 */
#include "decomprima_internal.h"

int32_t byte_stored_status;
int32_t byte_stored_val;
uint32_t val_to_read;
uint8_t bit_counter_to_read;
uint32_t val_to_write;
uint8_t bit_counter_to_write;

/* Takes in just the bytes the code needs (one or two), so nothing after
   the end code is ever requested: a pipe whose writer stays open after the
   end code does not block the decode. A read past the end of the file
   gives EOF (-1), whose low 8 bits are FF: a truncated code file goes on as
   1 bits, and a code made only of them is always above index_dic. */
uint32_t read_code_lr()
{
    while (bit_counter_to_read < bit_counter_decoding) {
        uint32_t byte;
        if (byte_stored_status != 0) {
            byte_stored_status = 0;
            byte = static_cast<uint32_t>(byte_stored_val) & 0xFF;
        } else {
            byte = static_cast<uint32_t>(getc(source_file)) & 0xFF;
        }
        val_to_read = (val_to_read << 8) | byte;
        bit_counter_to_read = static_cast<uint8_t>(bit_counter_to_read + 8);
    }
    bit_counter_to_read = static_cast<uint8_t>(bit_counter_to_read - bit_counter_decoding);
    uint32_t read_code = val_to_read >> bit_counter_to_read;
    val_to_read &= (1u << bit_counter_to_read) - 1;
    return read_code;
}

/* Symbols are 8 bits wide, so each call completes exactly one byte; write
   errors are collected by the stream and checked when the file is closed. */
void write_output(uint32_t value)
{
    val_to_write = (val_to_write << output_bit_counter) | value;
    bit_counter_to_write = static_cast<uint8_t>(bit_counter_to_write + output_bit_counter);
    while (bit_counter_to_write >= 8) {
        bit_counter_to_write = static_cast<uint8_t>(bit_counter_to_write - 8);
        putc(static_cast<int>((val_to_write >> bit_counter_to_write) & 0xFF), dest_file);
        val_to_write &= (1u << bit_counter_to_write) - 1;
    }
}

void complete_output()
{
    if (bit_counter_to_write > 0)
        putc(static_cast<int>((val_to_write << (8 - bit_counter_to_write)) & 0xFF), dest_file);
    bit_counter_to_write = 0;
    val_to_write = 0;
}
