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

/*
 * When to start a fresh dictionary (besides a full table):
 *  - checkpoints: every check_gap input bytes of a generation, its ratio
 *    (bytes per output bit) must have grown since the previous checkpoint,
 *    else the data has moved away from what the dictionary holds;
 *  - windows of window_codes codes: a window that costs more than the
 *    generation's first window (a fresh dictionary) and more than
 *    expanding_cost bits per byte means the wider codes no longer pay, as
 *    on incompressible data, where this keeps codes near 9 bits;
 *  - the 13-bit step: once the next code would be 13 bits wide, the last
 *    entry is worth it only for long strings (recent bytes per code times
 *    the generation's bits per byte at least long_string_bits).
 */
constexpr uint64_t check_gap = 6000;
constexpr uint32_t window_codes = 256;
constexpr uint64_t expanding_cost = (19u << 16) / 2;  // 9.5 bits per byte, 16.16
constexpr uint64_t long_string_bits = 16;

uint32_t hash_slot(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - lzw_hash_bits); }

void flush_output(lzw_encoder *e, lzw_code_state &c)
{
    if (c.out_len > 0 && !e->sink_failed && !e->sink(e->sink_context, e->out, c.out_len))
        e->sink_failed = true;
    c.out_len = 0;
}

inline void store_big_endian64(uint8_t *p, uint64_t v)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    std::memcpy(p, &v, 8);
}

/* Bits gather in a 64-bit accumulator; every code stores all whole bytes
   at once, with one unaligned 8-byte store, so that no branch depends on
   how many bytes a code completes. out has room past the block for it. */
inline void put_bits(lzw_encoder *e, lzw_code_state &c, uint32_t code)
{
    c.bit_acc = (c.bit_acc << c.width) | code;
    c.bit_count += c.width;  // at most 7 + 13
    c.generation_bits += c.width;
    uint64_t word = c.bit_acc << (64 - c.bit_count);  // oldest bit first
    store_big_endian64(e->out + c.out_len, word);
    c.out_len += c.bit_count / 8;
    c.bit_count %= 8;
    if (c.out_len >= lzw_output_block)
        flush_output(e, c);
}

/* A literal or string code. Then follow the decoder's width: it adds an
   entry for every such code but the first of a generation, and widens as
   its next free code reaches 2^width - 1. Generations end before the
   decoder's table is full, so decoder_next stays below 4096 here. */
inline void put_data_code(lzw_encoder *e, lzw_code_state &c, uint32_t code)
{
    put_bits(e, c, code);
    if (c.generation_empty) {
        c.generation_empty = false;
    } else {
        c.decoder_next++;
        if ((1u << c.width) == c.decoder_next + 1)
            c.width++;
    }
}

void start_generation(lzw_encoder *e, lzw_code_state &c, uint64_t position)
{
    put_bits(e, c, code_initialization);
    c.decoder_next = first_entry;
    c.width = 9;
    c.generation_empty = true;
    /* Clear only what this generation wrote: resets come every few hundred
       codes on incompressible data, where clearing whole tables would cost
       more than the encoding. Prefixes are literals or this generation's
       entries, so those are the only last_child slots in use. */
    for (uint32_t code = first_entry; code < c.next_entry; code++) {
        e->hash[e->entry_slot[code]] = 0;
        e->last_child[code] = 0;
    }
    std::memset(e->last_child, 0, 256 * sizeof e->last_child[0]);
    c.next_entry = first_entry;
    c.generation_bits = 0;
    c.window_codes = 0;
    e->generation_start = position;
    e->next_check = check_gap;
    e->checked_ratio = 0;
    e->window_start = position;
    e->window_bits_start = 0;
    e->first_window_cost = 0;
}

/* The rare part of the ratio watch: the 13-bit step, a checkpoint, or the
   end of a window. position is where the next code's string begins. */
bool ratio_says_reset(lzw_encoder *e, lzw_code_state &c, uint64_t position)
{
    uint64_t generation_in = position - e->generation_start;
    if (c.decoder_next == table_size - 1) {
        uint64_t window_in = position - e->window_start;
        uint64_t codes = c.window_codes > 0 ? c.window_codes : 1;
        if (window_in * c.generation_bits < long_string_bits * codes * generation_in)
            return true;
    }
    if (generation_in >= e->next_check) {
        e->next_check = generation_in + check_gap;
        uint64_t ratio = (generation_in << 16) / c.generation_bits;
        if (ratio < e->checked_ratio)
            return true;
        e->checked_ratio = ratio;
    }
    if (c.window_codes >= window_codes) {
        uint64_t cost =
            ((c.generation_bits - e->window_bits_start) << 16) / (position - e->window_start);
        if (e->first_window_cost == 0)
            e->first_window_cost = cost;
        else if (cost > e->first_window_cost && cost > expanding_cost)
            return true;
        c.window_codes = 0;
        e->window_start = position;
        e->window_bits_start = c.generation_bits;
    }
    return false;
}

uint64_t load64(const uint8_t *p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

/* Index into the current piece at which the next checkpoint falls (0 when
   a match has already carried the input past it). */
uint64_t checkpoint_index(const lzw_encoder *e)
{
    uint64_t at = e->generation_start + e->next_check;
    return at > e->fed ? at - e->fed : 0;
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
    e->fed = 0;
    e->state = lzw_code_state{};
    e->state.width = 9;
    e->state.decoder_next = first_entry;
    e->state.generation_empty = true;
    e->state.next_entry = first_entry;
    std::memset(e->hash, 0, sizeof e->hash);
    std::memset(e->last_child, 0, sizeof e->last_child);
}

bool lzw_encoder_feed(lzw_encoder *e, const uint8_t *data, size_t size)
{
    if (size == 0)
        return !e->sink_failed;
    lzw_code_state c = e->state;  // in registers: out's byte stores could alias *e
    if (!e->started) {
        /* An empty input makes an empty code file, so the opening 256
           waits for the first byte. */
        e->started = true;
        start_generation(e, c, 0);
    }
    size_t i = 0;
    if (!e->have_prefix) {
        e->prefix = data[i++];
        e->have_prefix = true;
    }
    uint32_t prefix = e->prefix;
    uint32_t *const hash = e->hash;
    uint32_t *const last_child = e->last_child;
    uint64_t check_at = checkpoint_index(e);
    for (; i < size; i++) {
        uint32_t key = (prefix << 8) | data[i];
        uint32_t slot = hash_slot(key);
        uint32_t entry;
        while ((entry = hash[slot]) != 0) {
            if ((entry >> 12) == key)
                break;
            slot = (slot + 1) & hash_mask;
        }
        if (entry != 0) {
            last_child[prefix] = entry & 0xFFFFF;  // its byte and code
            prefix = entry & 0xFFF;
            continue;
        }
        put_data_code(e, c, prefix);
        if (c.next_entry < table_size) {
            last_child[prefix] = (key & 0xFF) << 12 | c.next_entry;
            e->entry_slot[c.next_entry] = static_cast<uint16_t>(slot);
            hash[slot] = (key << 12) | c.next_entry++;
        }
        prefix = data[i];
        if (c.decoder_next == table_size) {
            start_generation(e, c, e->fed + i);
            check_at = checkpoint_index(e);
        } else if (++c.window_codes >= window_codes || i >= check_at ||
                   c.decoder_next == table_size - 1) {
            if (ratio_says_reset(e, c, e->fed + i))
                start_generation(e, c, e->fed + i);
            check_at = checkpoint_index(e);
        }
        /* A run: each string in it is followed by the same byte as last
           time, so follow the remembered children instead of hashing. The
           test is made once per code, where it rarely mispredicts. */
        if (i + 8 <= size && load64(data + i) == data[i] * 0x0101010101010101ull) {
            size_t j = i + 1;
            for (; j < size && data[j] == data[i]; j++) {
                uint32_t child = last_child[prefix];  // byte << 12 | code, 0 for none
                if (child == 0 || (child >> 12) != data[i])
                    break;
                prefix = child & 0xFFF;
            }
            i = j - 1;  // the loop goes on at data[j]
        }
    }
    e->prefix = prefix;
    e->fed += size;
    e->state = c;
    return !e->sink_failed;
}

bool lzw_encoder_finish(lzw_encoder *e)
{
    lzw_code_state c = e->state;
    if (e->started) {
        put_data_code(e, c, e->prefix);
        put_bits(e, c, code_end);
        if (c.bit_count > 0)
            e->out[c.out_len++] = static_cast<uint8_t>(c.bit_acc << (8 - c.bit_count));
        c.bit_count = 0;
    }
    flush_output(e, c);
    e->state = c;
    return !e->sink_failed;
}
