// Round trips: input through the encoder and back through the built
// library must come back byte for byte, at every width, across full
// tables and resets.
#include "lzw_encoder.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

bool append_to(void *context, const uint8_t *data, size_t size)
{
    static_cast<bytes *>(context)->insert(static_cast<bytes *>(context)->end(), data, data + size);
    return true;
}

// Encodes in pieces of piece bytes, as a stream would arrive.
bytes encode(const bytes &input, size_t piece = 1 << 16)
{
    static lzw_encoder encoder;
    bytes out;
    lzw_encoder_start(&encoder, append_to, &out);
    for (size_t at = 0; at < input.size(); at += piece)
        lzw_encoder_feed(&encoder, input.data() + at, std::min(piece, input.size() - at));
    lzw_encoder_finish(&encoder);
    return out;
}

// Reads the codes back at the widths the decoder uses.
std::vector<uint32_t> unpack_codes(const bytes &file)
{
    std::vector<uint32_t> codes;
    uint64_t acc = 0;
    int bits = 0, width = 9;
    uint32_t next_free = 258;
    bool generation_empty = true;
    size_t at = 0;
    while (true) {
        while (bits < width) {
            acc = (acc << 8) | (at < file.size() ? file[at] : 0xFF);
            at++;
            bits += 8;
        }
        bits -= width;
        uint32_t code = static_cast<uint32_t>(acc >> bits) & ((1u << width) - 1);
        codes.push_back(code);
        if (code == 257 || at > file.size() + 2)
            return codes;
        if (code == 256) {
            width = 9;
            next_free = 258;
            generation_empty = true;
        } else if (generation_empty) {
            generation_empty = false;
        } else if (next_free < 4096 && (1u << width) == ++next_free + 1) {
            width++;
        }
    }
}

void expect_round_trip(const bytes &input, size_t piece = 1 << 16)
{
    bytes code_file = encode(input, piece);
    decode_result r = decode_bytes(code_file);
    EXPECT_EQ(r.how, returned(0));
    ASSERT_EQ(r.restored.size(), input.size());
    EXPECT_TRUE(r.restored == input);
}

TEST(round_trip, sizes_at_every_width_change_and_full_table)
{
    // A run of n(n+1)/2 equal bytes is n codes of 1, 2, ..., n bytes: the
    // sizes put the last codes and the end code on each width change, and
    // 3839 codes fill the table (the last code and the end code at 13
    // bits). Beyond that the encoder must send 256 before going on.
    for (size_t n : {1, 2, 253, 254, 255, 256, 765, 766, 767, 1789, 1790, 1791, 3837, 3838, 3839,
                     3840, 3841, 5000}) {
        SCOPED_TRACE("codes " + std::to_string(n));
        bytes input(n * (n + 1) / 2, 'a');
        std::vector<uint32_t> codes = unpack_codes(encode(input));
        if (n <= 3839) {
            EXPECT_EQ(codes.size(), n + 2);  // 256, n codes, 257
        } else {
            EXPECT_EQ(std::count(codes.begin(), codes.end(), 256u), 2);
        }
        expect_round_trip(input);
    }
    for (size_t n : {0, 1, 2, 3})
        expect_round_trip(bytes(n, 'z'));
}

TEST(round_trip, typical_contents)
{
    std::mt19937 rng(42);
    bytes all_values(256 * 4);
    for (size_t i = 0; i < all_values.size(); i++)
        all_values[i] = static_cast<uint8_t>(i * 97);
    bytes random(1 << 20);
    for (auto &b : random)
        b = static_cast<uint8_t>(rng());
    bytes text;
    bytes sample = read_file(EXAMPLES_DIR "/sample.txt");
    while (text.size() < (1 << 20))
        text.insert(text.end(), sample.begin(), sample.end());

    const std::pair<const char *, bytes> inputs[] = {
        {"all byte values", all_values},
        {"run of one byte", bytes(1 << 20, 'x')},
        {"run of zeros", bytes(100000, 0)},
        {"random", random},
        {"text", text},
    };
    for (const auto &[name, input] : inputs) {
        SCOPED_TRACE(name);
        expect_round_trip(input);
        expect_round_trip(input, 1);  // the match carries across pieces
    }
    // The ratio watch keeps incompressible data near 9-bit codes instead of
    // letting it grow to 12 and 13 bits (about 1.37 times the input; about
    // 1.19 with the watch).
    EXPECT_LT(encode(random).size(), random.size() * 125 / 100);
}

// Text, then random bytes, then text again: full tables and the ratio
// watch both reset the dictionary, several times.
TEST(round_trip, changing_data_resets_several_times)
{
    std::mt19937 rng(3);
    bytes sample = read_file(EXAMPLES_DIR "/sample.txt");
    bytes input;
    for (int part = 0; part < 3; part++) {
        for (int k = 0; k < 20; k++)
            input.insert(input.end(), sample.begin(), sample.end());
        for (int k = 0; k < 60000; k++)
            input.push_back(static_cast<uint8_t>(rng()));
    }
    bytes code_file = encode(input);
    std::vector<uint32_t> codes = unpack_codes(code_file);
    EXPECT_GE(std::count(codes.begin(), codes.end(), 256u), 10);
    EXPECT_LT(code_file.size(), input.size());
    expect_round_trip(input);
}

}  // namespace
