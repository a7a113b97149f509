/*
 * Dictionary and string emission: the table of strings the codes stand
 * for (set-up, reset, growth, release) and the emission of one code's
 * string into the output window of the byte writer.
 */
#include "decomprima_internal.h"

#include <cstdlib>
#include <cstring>

p_dic_link dictionary[4096];
uint32_t index_dic;
uint32_t index_dic_max;
uint8_t bit_counter_decoding;
uint8_t bit_counter_min_decoding;
uint8_t output_bit_counter;
uint32_t initialization_code;
uint32_t end_information_code;

/* A chain longer than this can only come from a broken table: the longest
   string is entry 4095 when every entry extends the one before it, 3839
   characters. */
constexpr uint32_t longest_string = 4096;

uint32_t entry_span[4096];
static_assert(output_window_size - output_slack < span_gone,
              "window positions fit below span_gone");
uint32_t string_start;

void init_dictionary1()
{
    index_dic_max = 4096;
    output_bit_counter = 8;
    bit_counter_min_decoding = static_cast<uint8_t>(output_bit_counter + 1);
    initialization_code = 1u << (bit_counter_min_decoding - 1);
    end_information_code = initialization_code + 1;

    for (uint32_t i = 0; i < index_dic_max; i++) {
        dictionary[i] = static_cast<p_dic_link>(malloc(sizeof(t_dic_link)));
        if (dictionary[i] == nullptr) {
            while (i > 0)
                free(dictionary[--i]);
            fatal_stop(status_out_of_memory, nullptr);
        }
        /* Nodes 256 and up get their character from add_string(); zero it
           anyway so that no byte of the node is ever indeterminate. */
        dictionary[i]->character = i < initialization_code ? i : 0;
        dictionary[i]->predecessor = nullptr;
    }

    /* A literal's string is its byte, kept below the window's output. */
    static_assert(output_window_start == 256, "one byte per literal code below the output");
    for (uint32_t i = 0; i < initialization_code; i++) {
        output_window[i] = static_cast<uint8_t>(i);
        entry_span[i] = i << span_length_bits | 1;
    }
    string_start = output_position;

    index_dic = end_information_code + 1;
    bit_counter_decoding = bit_counter_min_decoding;
}

void init_dictionary2()
{
    /* Only the entries added since the last set-up or reset have a
       predecessor (nodes from index_dic on never got one), so cutting those
       leaves every node from 256 on without one, at the cost of the entries
       actually made. A reset comes only after a complete set-up, so every
       slot holds a node. */
    uint32_t i = initialization_code;
    /* Four at a time: a reset follows every few thousand codes, and this
       loop is then a noticeable part of the work per code. */
    for (; i + 4 <= index_dic; i += 4) {
        dictionary[i]->predecessor = nullptr;
        dictionary[i + 1]->predecessor = nullptr;
        dictionary[i + 2]->predecessor = nullptr;
        dictionary[i + 3]->predecessor = nullptr;
    }
    for (; i < index_dic; i++)
        dictionary[i]->predecessor = nullptr;
    index_dic = end_information_code + 1;
    bit_counter_decoding = bit_counter_min_decoding;
}

void remove_dictionary()
{
    for (uint32_t i = 0; i < index_dic_max && dictionary[i] != nullptr; i++)
        free(dictionary[i]);
}

void add_string(uint32_t code, uint32_t first_char)
{
    dictionary[index_dic]->character = first_char;
    dictionary[index_dic]->predecessor = dictionary[code];
    /* The new entry is code's string, the previous code's, followed by the
       first character of the current one, and the decoding loop emitted
       these two strings one right after the other: the entry stands, whole,
       where the previous string starts, just before the current one. Only
       the length of code's span is used: its start may name an older copy
       of the string, which may even have left the window. */
    uint32_t length = entry_span[code] & span_length_mask;
    entry_span[index_dic] = (string_start - length) << span_length_bits | (length + 1);
    index_dic++;
    /* Widen as soon as index_dic reaches 2^width - 1 (511, 1023, 2047,
       4095); at 4095 that makes 13, which also serves 4096. Between 259
       and 4096, index_dic + 1 is a power of two exactly at those four
       values, and the width always follows from index_dic, so this test
       is the same as (1 << bit_counter_decoding) == index_dic + 1. */
    if ((index_dic & (index_dic + 1)) == 0)
        bit_counter_decoding++;
}

/* The window moved down by shift bytes: so did every entry's string, and
   those now below the window's start have left it. Entries from
   index_dic on are free and are rewritten before they are read. */
static void move_entries_down(uint32_t shift)
{
    for (uint32_t code = end_information_code + 1; code < index_dic; code++) {
        uint32_t start = entry_span[code] >> span_length_bits;
        if (start == span_gone)
            continue;
        entry_span[code] =
            start >= output_window_start + shift
                ? entry_span[code] - (shift << span_length_bits)
                : span_gone << span_length_bits | (entry_span[code] & span_length_mask);
    }
    string_start -= shift;
}

uint32_t write_string(uint32_t pred_code, uint32_t current_code, uint32_t first_char)
{
    if (output_position > output_window_size - output_slack)
        move_entries_down(slide_output());
    string_start = output_position;
    uint8_t *dst = output_window + output_position;

    if (current_code < index_dic) {
        uint32_t span = entry_span[current_code];
        if (span < span_gone << span_length_bits) {
            copy_string(dst, output_window + (span >> span_length_bits), span & span_length_mask);
            output_position += span & span_length_mask;
        } else {
            /* Its bytes have left the window: walk the chain, and note
               where the string stands now. */
            uint32_t character;
            write_link(dictionary[current_code], &character);
            entry_span[current_code] =
                string_start << span_length_bits | (output_position - string_start);
        }
    } else {
        /* current_code == index_dic: the entry being added is the previous
           string followed by that string's own first character. The
           previous string, pred_code's, was the last thing emitted, so it
           stands just before dst (its span may name an older copy). */
        uint32_t length = entry_span[pred_code] & span_length_mask;
        copy_string(dst, dst - length, length);
        output_position += length;
        write_output(first_char);
    }
    return dst[0];
}

/* Walks the chain from the entry to its root and writes the characters
   backwards into place, into the free part of the window, then moves them
   down to the end of the output. No recursion: the stack stays small and
   bounded, so hosts may decode on threads with small stacks. */
void write_link(p_dic_link chainage, uint32_t *character)
{
    uint8_t *last = output_window + output_position + longest_string;
    uint32_t length = 0;
    for (p_dic_link node = chainage; node != nullptr; node = node->predecessor) {
        /* Chains are acyclic and at most 3839 long (the caller's code
           checks keep them so); a longer one could only come from a broken
           table, and is refused rather than written past the window. */
        if (length == longest_string)
            fatal_stop(status_invalid_code_file, message_invalid_code_file);
        length++;
        *(last - length) = static_cast<uint8_t>(node->character);
    }
    std::memmove(output_window + output_position, last - length, length);
    *character = output_window[output_position];
    output_position += length;
}
