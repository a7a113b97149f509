/*
 * Streaming LZW encoder: greedy longest match through a hash table of
 * (prefix code, byte) pairs, codes packed most significant bit first.
 *
 * Entry numbering must agree with the decoder, which adds an entry for
 * every literal or string code except the first after a 256: the encoder
 * adds (prefix, next byte) when it emits prefix, so its entry k is the
 * decoder's entry k, one code earlier. The decoder may therefore receive
 * the code of the entry it is about to add (prefix + its own first byte),
 * which it handles.
 */
#include "lzw_encoder.h"

#include <cstring>

namespace {

constexpr uint32_t code_initialization = 256;
constexpr uint32_t code_end = 257;
constexpr uint32_t first_entry = 258;
constexpr uint32_t table_size = 4096;
constexpr uint32_t hash_mask = (1u << lzw_hash_bits) - 1;

/* Ratio watch: every check_gap input bytes of a generation, compare the
   generation's bytes per output bit with the best seen at an earlier
   check; when it has fallen, the data has changed and a fresh dictionary
   will serve it better. */
constexpr uint64_t check_gap = 8192;

uint32_t hash_slot(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - lzw_hash_bits); }

void flush_output(lzw_encoder *e)
{
    if (e->out_len > 0 && !e->sink_failed && !e->sink(e->sink_context, e->out, e->out_len))
        e->sink_failed = true;
    e->out_len = 0;
}

void put_code(lzw_encoder *e, uint32_t code)
{
    e->bit_acc = (e->bit_acc << e->width) | code;
    e->bit_count += e->width;
    while (e->bit_count >= 8) {
        e->bit_count -= 8;
        e->out[e->out_len++] = static_cast<uint8_t>(e->bit_acc >> e->bit_count);
    }
    if (e->out_len >= lzw_output_block)
        flush_output(e);
    e->generation_bits += e->width;

    /* Follow the decoder's width: it widens as its next free code reaches
       2^width - 1, after the code that made it so. */
    if (code == code_initialization) {
        e->decoder_next = first_entry;
        e->width = 9;
        e->generation_empty = true;
    } else if (code == code_end) {
        /* nothing follows */
    } else if (e->generation_empty) {
        e->generation_empty = false;
    } else {
        e->decoder_next++;
        if ((1u << e->width) == e->decoder_next + 1)
            e->width++;
    }
}

void start_generation(lzw_encoder *e, uint64_t position)
{
    put_code(e, code_initialization);
    std::memset(e->hash, 0, sizeof e->hash);
    e->next_entry = first_entry;
    e->generation_start = position;
    e->generation_bits = 0;
    e->next_check = check_gap;
    e->best_ratio = 0;
}

/* After a literal or string code: a full table must be emptied before the
   next one; a table whose ratio has slipped is emptied early. */
void maybe_reset(lzw_encoder *e, uint64_t position)
{
    if (e->decoder_next == table_size) {
        start_generation(e, position);
        return;
    }
    uint64_t generation_in = position - e->generation_start;
    if (generation_in < e->next_check)
        return;
    e->next_check = generation_in + check_gap;
    uint64_t ratio = (generation_in << 16) / e->generation_bits;
    if (ratio < e->best_ratio)
        start_generation(e, position);
    else
        e->best_ratio = ratio;
}

}  // namespace

void lzw_encoder_start(lzw_encoder *e, lzw_sink sink, void *context)
{
    e->sink = sink;
    e->sink_context = context;
    e->sink_failed = false;
    e->started = false;
    e->have_prefix = false;
    e->prefix = 0;
    e->width = 9;
    e->decoder_next = first_entry;
    e->generation_empty = true;
    e->bit_acc = 0;
    e->bit_count = 0;
    e->out_len = 0;
    e->fed = 0;
}

bool lzw_encoder_feed(lzw_encoder *e, const uint8_t *data, size_t size)
{
    if (size == 0)
        return !e->sink_failed;
    if (!e->started) {
        /* An empty input makes an empty code file, so the opening 256
           waits for the first byte. */
        e->started = true;
        start_generation(e, 0);
    }
    size_t i = 0;
    if (!e->have_prefix) {
        e->prefix = data[i++];
        e->have_prefix = true;
    }
    uint32_t prefix = e->prefix;
    for (; i < size; i++) {
        uint32_t key = (prefix << 8) | data[i];
        uint32_t slot = hash_slot(key);
        uint32_t entry;
        while ((entry = e->hash[slot]) != 0) {
            if ((entry >> 12) == key)
                break;
            slot = (slot + 1) & hash_mask;
        }
        if (entry != 0) {
            prefix = entry & 0xFFF;
            continue;
        }
        put_code(e, prefix);
        if (e->next_entry < table_size)
            e->hash[slot] = (key << 12) | e->next_entry++;
        prefix = data[i];
        maybe_reset(e, e->fed + i);
    }
    e->prefix = prefix;
    e->fed += size;
    return !e->sink_failed;
}

bool lzw_encoder_finish(lzw_encoder *e)
{
    if (e->started) {
        put_code(e, e->prefix);
        put_code(e, code_end);
        if (e->bit_count > 0)
            e->out[e->out_len++] = static_cast<uint8_t>(e->bit_acc << (8 - e->bit_count));
        e->bit_count = 0;
    }
    flush_output(e);
    return !e->sink_failed;
}
