/*
 * Dictionary and string emission: the table of strings the codes stand
 * for (set-up, reset, growth, release) and the emission of one code's
 * string through write_output().
 */
#include "decomprima_internal.h"

#include <cstdlib>

p_dic_link dictionary[4096];
uint32_t index_dic;
uint32_t index_dic_max;
uint8_t bit_counter_decoding;
uint8_t bit_counter_min_decoding;
uint8_t output_bit_counter;
uint32_t initialization_code;
uint32_t end_information_code;

/* The longest string is entry 4095 when every entry extends the one
   before it: 3839 characters. */
constexpr uint32_t longest_string = 4096;

/* Characters of one string, gathered last to first by write_link(). A
   fixed buffer instead of recursion keeps the stack small and bounded, so
   hosts may decode on threads with small stacks. */
static uint8_t emission_buffer[longest_string];

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

    index_dic = end_information_code + 1;
    bit_counter_decoding = bit_counter_min_decoding;
}

void init_dictionary2()
{
    for (uint32_t i = initialization_code; i < index_dic_max && dictionary[i] != nullptr; i++)
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
    index_dic++;
    /* Widen as soon as index_dic reaches 2^width - 1 (511, 1023, 2047,
       4095); at 4095 that makes 13, which also serves 4096. */
    if ((1u << bit_counter_decoding) == index_dic + 1)
        bit_counter_decoding++;
}

uint32_t write_string(uint32_t pred_code, uint32_t current_code, uint32_t first_char)
{
    uint32_t character;
    if (current_code < index_dic) {
        write_link(dictionary[current_code], &character);
    } else {
        /* current_code == index_dic: the entry being added is the previous
           string followed by that string's own first character. */
        write_link(dictionary[pred_code], &character);
        write_output(first_char);
    }
    return character;
}

void write_link(p_dic_link chainage, uint32_t *character)
{
    uint32_t length = 0;
    for (p_dic_link node = chainage; node != nullptr; node = node->predecessor) {
        /* Chains are acyclic and at most 3839 long (the caller's code
           checks keep them so); a longer one could only come from a broken
           table, and is refused rather than written past the buffer. */
        if (length == longest_string)
            fatal_stop(status_invalid_code_file, message_invalid_code_file);
        emission_buffer[longest_string - 1 - length] = static_cast<uint8_t>(node->character);
        length++;
    }
    const uint8_t *first = emission_buffer + longest_string - length;
    *character = first[0];
    for (uint32_t i = 0; i < length; i++)
        write_output(first[i]);
}
