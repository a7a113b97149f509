// What decomprima() makes of code files: one table of cases (code file in;
// result or fatal stop, stderr bytes and restored bytes out), then
// properties over generated streams.
#include "support.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct decode_case {
    std::string name;
    bytes code_file;
    outcome how;
    bytes restored;
};

void PrintTo(const decode_case &c, std::ostream *os) { *os << c.name; }

bytes repeat(uint8_t value, size_t count) { return bytes(count, value); }

bytes concat(bytes a, const bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// n literal codes after the initialization code, cycling through byte
// values so that a code read at the wrong width shows.
std::vector<uint32_t> literals(size_t n)
{
    std::vector<uint32_t> codes{256};
    for (size_t i = 0; i < n; i++)
        codes.push_back(static_cast<uint32_t>((i * 7 + 3) % 256));
    return codes;
}

std::vector<uint32_t> with(std::vector<uint32_t> codes, std::initializer_list<uint32_t> more)
{
    codes.insert(codes.end(), more);
    return codes;
}

std::vector<decode_case> all_cases()
{
    std::vector<decode_case> cases = {
        // Hand-made streams, all codes 9 bits wide. 80 18 60 50 10 is
        //   100000000 001100001 100000010 100000001 0000
        //   256       97        258       257       fill
        {"empty_file", {}, returned(0), {}},
        {"init_then_end", {0x80, 0x40, 0x40}, returned(0), {}},
        {"init_init_end", {0x80, 0x40, 0x20, 0x20}, returned(0), {}},
        {"two_literals", {0x80, 0x10, 0x48, 0x50, 0x10}, returned(0), to_bytes("AB")},
        {"code_equal_to_next_free", {0x80, 0x18, 0x60, 0x50, 0x10}, returned(0), to_bytes("aaa")},
        {"worked_example",
         {0x80, 0x10, 0x48, 0x50, 0x28, 0x24, 0x04},
         returned(0),
         to_bytes("ABABABA")},
        // 256 97 98 256 99 258 257: the reset's entry 258 is "cc", not "ab".
        {"reset_reuses_entry_258",
         {0x80, 0x18, 0x4C, 0x50, 0x03, 0x1C, 0x0A, 0x02},
         returned(0),
         to_bytes("abccc")},
        {"bytes_after_end_code_ignored",
         {0x80, 0x18, 0x60, 0x50, 0x10, 0xFF, 0xFF},
         returned(0),
         to_bytes("aaa")},
        {"garbage_after_end_code_ignored",
         {0x80, 0x10, 0x60, 0x20, 0x12, 0x34},
         returned(0),
         to_bytes("A")},
        // 256, 65..71, then the end code missing its lowest bit, which the
        // read past the end supplies as a 1.
        {"end_code_completed_past_end",
         {0x80, 0x10, 0x48, 0x44, 0x32, 0x21, 0x14, 0x8C, 0x47, 0x80},
         returned(0),
         to_bytes("ABCDEFG")},
        {"end_code_missing",
         {0x80, 0x10, 0x48, 0x44, 0x32, 0x21, 0x14, 0x8C, 0x47},
         fatal(4),
         to_bytes("ABCDEFG")},

        // Invalid first code.
        {"first_code_literal", {0x00, 0x00, 0x00}, fatal(4), {}},
        {"first_code_end", {0x80, 0x80}, fatal(4), {}},
        {"single_byte_80", {0x80}, fatal(4), {}},
        {"single_byte_41", {0x41}, fatal(4), {}},
        {"single_byte_FF", {0xFF}, fatal(4), {}},

        // Codes above the next free code, and reading past the end.
        {"code_above_next_free", {0x80, 0x18, 0x60, 0x70, 0x10}, fatal(4), to_bytes("a")},
        // 256, then 0010000 + two 1 bits past the end = 67, then 511.
        {"literal_from_bits_past_end", {0x80, 0x10}, fatal(4), to_bytes("C")},
        {"string_code_from_bits_past_end", {0x80, 0x40}, fatal(4), {}},
        {"too_high_code_from_bits_past_end", {0x80, 0x10, 0x60}, fatal(4), to_bytes("A")},

        // A string code cannot open a generation: it has no previous
        // string to extend, and entry 258 would become its own predecessor.
        {"string_code_opening_stream", pack_codes({256, 258, 257}), fatal(4), {}},
        {"code_259_opening_stream", pack_codes({256, 259, 257}), fatal(4), {}},
        {"string_code_after_reset", pack_codes({256, 65, 66, 258, 256, 258, 257}), fatal(4),
         to_bytes("ABAB")},
        {"string_code_after_reset_of_full_table", pack_codes(with(literals(3839), {256, 258, 257})),
         fatal(4), model_decode(literals(3839))},

        // The deepest chain: entry 4095 is 3839 bytes long.
        {"deepest_stream", pack_codes(deepest_codes()), returned(0), repeat('a', 7370880)},
    };

    // A full table (3839 codes after the initialization code, the last at
    // 13 bits) followed by each kind of next code, read at 13 bits.
    const std::vector<uint32_t> full = literals(3839);
    const bytes full_out = model_decode(full);
    cases.push_back(
        {"full_table_then_literal", pack_codes(with(full, {5, 257})), fatal(5), full_out});
    cases.push_back(
        {"full_table_then_string_code", pack_codes(with(full, {300, 257})), fatal(5), full_out});
    cases.push_back(
        {"full_table_then_4096", pack_codes(with(full, {4096, 257})), fatal(5), full_out});
    cases.push_back(
        {"full_table_then_4097", pack_codes(with(full, {4097, 257})), fatal(4), full_out});
    cases.push_back({"full_table_then_end", pack_codes(with(full, {257})), returned(0), full_out});
    cases.push_back({"full_table_then_reset", pack_codes(with(full, {256, 65, 66, 258, 257})),
                     returned(0), concat(full_out, to_bytes("ABAB"))});

    // Literal streams whose last codes and end code straddle each width
    // change (index_dic reaching 511, 1023, 2047, 4095).
    for (size_t n : {253, 254, 255, 256, 765, 766, 767, 1789, 1790, 1791, 3837, 3838, 3839}) {
        auto codes = with(literals(n), {257});
        cases.push_back(
            {"literals_" + std::to_string(n), pack_codes(codes), returned(0), model_decode(codes)});
    }
    return cases;
}

class decode_table : public ::testing::TestWithParam<decode_case> {};

TEST_P(decode_table, restores_expected_bytes)
{
    const decode_case &c = GetParam();
    decode_result r = decode_bytes(c.code_file);
    EXPECT_EQ(r.how, c.how);
    EXPECT_EQ(r.restored.size(), c.restored.size());
    EXPECT_TRUE(r.restored == c.restored);
}

INSTANTIATE_TEST_SUITE_P(cases, decode_table, ::testing::ValuesIn(all_cases()),
                         [](const ::testing::TestParamInfo<decode_case> &info) {
                             return info.param.name;
                         });

TEST(code_writer, matches_known_layouts)
{
    EXPECT_EQ(pack_codes({256, 97, 258, 257}), (bytes{0x80, 0x18, 0x60, 0x50, 0x10}));
    // 255 literals: the 255th and the end code are 10 bits wide.
    std::vector<uint32_t> codes{256};
    codes.insert(codes.end(), 255, 65);
    codes.push_back(257);
    bytes packed = pack_codes(codes);
    ASSERT_EQ(packed.size(), 290u);
    EXPECT_EQ(bytes(packed.begin(), packed.begin() + 4), (bytes{0x80, 0x10, 0x48, 0x24}));
    EXPECT_EQ(bytes(packed.end() - 4, packed.end()), (bytes{0x82, 0x20, 0xA0, 0x20}));
}

// Random well-formed code lists: any code up to the next free one, resets
// now and then, full tables, at every width.
std::vector<uint32_t> random_stream(std::mt19937 &rng, size_t length, double reset_rate)
{
    std::vector<uint32_t> codes{256};
    uint32_t next_free = 258;
    bool generation_empty = true;
    std::uniform_real_distribution<double> unit(0, 1);
    for (size_t i = 0; i < length; i++) {
        if (next_free == 4096 || unit(rng) < reset_rate) {
            codes.push_back(256);
            next_free = 258;
            generation_empty = true;
            continue;
        }
        uint32_t code;
        if (generation_empty || unit(rng) < 0.3) {
            code = rng() % 256;
        } else {
            code = 258 + rng() % (next_free - 258 + 1);
        }
        codes.push_back(code);
        if (generation_empty)
            generation_empty = false;
        else
            next_free++;
    }
    codes.push_back(257);
    return codes;
}

TEST(streams, random_well_formed_streams_restore_like_the_model)
{
    std::mt19937 rng(20261211);
    for (int round = 0; round < 40; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        auto codes = random_stream(rng, 1 + rng() % 12000, round % 4 == 0 ? 0.0 : 0.0005);
        decode_result r = decode_bytes(pack_codes(codes));
        EXPECT_EQ(r.how, returned(0));
        EXPECT_TRUE(r.restored == model_decode(codes));
    }
}

// A long string used again and again over megabytes of output, each time
// followed by a literal and by the entry that pair made: the decoder copies
// strings from what it wrote recently and must keep each one whole even
// after its earlier copies are long gone.
TEST(streams, long_string_reused_over_megabytes_of_output)
{
    for (uint32_t depth : {700u, 850u, 999u, 1500u, 2100u}) {
        SCOPED_TRACE("depth " + std::to_string(depth));
        std::vector<uint32_t> codes{256, 97};
        uint32_t next_free = 258;
        for (uint32_t i = 0; i < depth; i++)
            codes.push_back(next_free++);  // each entry extends the one before
        const uint32_t longest = next_free - 1;
        while (next_free + 3 <= 4096) {
            codes.push_back(longest);
            next_free++;
            codes.push_back('b');
            next_free++;
            codes.push_back(next_free - 1);  // longest's string and 'b'
            next_free++;
        }
        codes.push_back(257);
        decode_result r = decode_bytes(pack_codes(codes));
        EXPECT_EQ(r.how, returned(0));
        EXPECT_TRUE(r.restored == model_decode(codes));
    }
}

TEST(streams, truncated_file_keeps_what_was_decoded)
{
    std::mt19937 rng(7);
    auto codes = random_stream(rng, 400, 0.01);
    std::vector<size_t> code_end_bits;
    bytes whole = pack_codes(codes, &code_end_bits);
    for (size_t cut = 0; cut < whole.size(); cut++) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        // The codes lying wholly inside the cut are decoded as written.
        size_t complete = 0;
        while (complete < codes.size() && code_end_bits[complete] <= cut * 8)
            complete++;
        std::vector<uint32_t> head(codes.begin(), codes.begin() + static_cast<long>(complete));
        bytes expected_prefix = model_decode(head);
        decode_result r =
            decode_bytes(bytes(whole.begin(), whole.begin() + static_cast<long>(cut)));
        EXPECT_TRUE(r.how == fatal(4) || r.how == returned(0)) << r.how;
        ASSERT_GE(r.restored.size(), expected_prefix.size());
        EXPECT_TRUE(std::equal(expected_prefix.begin(), expected_prefix.end(), r.restored.begin()));
    }
}

TEST(streams, decodes_in_one_process_are_independent)
{
    decomprima_fn decode = load_decomprima();
    std::string first = temp_path("first.lzw"), second = temp_path("second.lzw");
    std::string out = temp_path("out.bin");
    // The first decodes leave bits behind their end code, a full table at
    // width 13, and a look-ahead byte; none of it may reach the next.
    const bytes firsts[] = {
        {0x80, 0x18, 0x60, 0x50, 0x10, 0xFF, 0xFF},
        pack_codes(deepest_codes()),
        {0x80, 0x40, 0x40},
        {},
    };
    write_file(second, {0x80, 0x10, 0x48, 0x50, 0x28, 0x24, 0x04});
    for (const bytes &f : firsts) {
        write_file(first, f);
        ASSERT_EQ(decode(const_cast<char *>(first.c_str()), const_cast<char *>(out.c_str())), 0);
        ASSERT_EQ(decode(const_cast<char *>(second.c_str()), const_cast<char *>(out.c_str())), 0);
        EXPECT_EQ(read_file(out), to_bytes("ABABABA"));
    }
}

}  // namespace
