#include "corpus.h"

#include <cmath>

namespace {

// splitmix64: small, fast, and the same everywhere.
struct rng {
    uint64_t state;
    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
};

const char *const common_words[] = {
    "the",    "of",      "and",    "to",      "a",       "in",         "is",       "it",
    "that",   "was",     "for",    "on",      "are",     "with",       "as",       "his",
    "they",   "be",      "at",     "one",     "have",    "this",       "from",     "or",
    "had",    "by",      "word",   "but",     "what",    "some",       "we",       "can",
    "out",    "other",   "were",   "all",     "there",   "when",       "up",       "use",
    "your",   "how",     "said",   "an",      "each",    "she",        "which",    "do",
    "their",  "time",    "if",     "will",    "way",     "about",      "many",     "then",
    "them",   "write",   "would",  "like",    "so",      "these",      "her",      "long",
    "make",   "thing",   "see",    "him",     "two",     "has",        "look",     "more",
    "day",    "could",   "go",     "come",    "did",     "number",     "sound",    "no",
    "most",   "people",  "my",     "over",    "know",    "water",      "than",     "call",
    "first",  "who",     "may",    "down",    "side",    "been",       "now",      "find",
    "any",    "new",     "work",   "part",    "take",    "get",        "place",    "made",
    "live",   "where",   "after",  "back",    "little",  "only",       "round",    "man",
    "year",   "came",    "show",   "every",   "good",    "me",         "give",     "our",
    "under",  "name",    "very",   "through", "just",    "form",       "sentence", "great",
    "think",  "say",     "help",   "low",     "line",    "differ",     "turn",     "cause",
    "much",   "mean",    "before", "move",    "right",   "boy",        "old",      "too",
    "same",   "tell",    "does",   "set",     "three",   "want",       "air",      "well",
    "also",   "play",    "small",  "end",     "put",     "home",       "read",     "hand",
    "port",   "large",   "spell",  "add",     "even",    "land",       "here",     "must",
    "big",    "high",    "such",   "follow",  "act",     "why",        "ask",      "men",
    "change", "went",    "light",  "kind",    "off",     "need",       "house",    "picture",
    "try",    "us",      "again",  "animal",  "point",   "mother",     "world",    "near",
    "build",  "self",    "earth",  "father",  "head",    "stand",      "own",      "page",
    "should", "country", "found",  "answer",  "school",  "grow",       "study",    "still",
    "learn",  "plant",   "cover",  "food",    "sun",     "four",       "between",  "state",
    "keep",   "eye",     "never",  "last",    "let",     "thought",    "city",     "tree",
    "cross",  "farm",    "hard",   "start",   "might",   "story",      "saw",      "far",
    "sea",    "draw",    "left",   "late",    "run",     "while",      "press",    "close",
    "night",  "real",    "life",   "few",     "north",   "lighthouse", "keeper",   "ledger",
    "storm",  "harbour", "island", "window",  "evening", "morning",    "weather",  "journey"};
constexpr uint32_t word_count = sizeof common_words / sizeof common_words[0];

}  // namespace

bytes make_text(size_t size)
{
    rng r{1};
    // Zipf-like: word k drawn with weight 1 / (k + 1).
    std::vector<double> cumulative(word_count);
    double total = 0;
    for (uint32_t k = 0; k < word_count; k++)
        cumulative[k] = total += 1.0 / (k + 1);
    bytes out;
    out.reserve(size + 64);
    uint32_t in_sentence = 0, sentence_length = 8, in_paragraph = 0;
    while (out.size() < size) {
        double u = r.unit() * total;
        uint32_t lo = 0, hi = word_count - 1;
        while (lo < hi) {
            uint32_t mid = (lo + hi) / 2;
            if (cumulative[mid] < u)
                lo = mid + 1;
            else
                hi = mid;
        }
        std::string word = common_words[lo];
        if (in_sentence == 0)
            word[0] = static_cast<char>(word[0] - 'a' + 'A');
        out.insert(out.end(), word.begin(), word.end());
        if (++in_sentence == sentence_length) {
            out.push_back('.');
            in_sentence = 0;
            sentence_length = 5 + r.below(16);
            if (++in_paragraph == 4 + r.below(5)) {
                out.push_back('\n');
                out.push_back('\n');
                in_paragraph = 0;
                continue;
            }
        } else if (r.below(10) == 0) {
            out.push_back(',');
        }
        out.push_back(r.below(12) == 0 ? '\n' : ' ');
    }
    out.resize(size);
    return out;
}

bytes make_binary(size_t size)
{
    rng r{2};
    // Frequent x86-64 opcode bytes, most common first.
    static const uint8_t opcodes[] = {0x48, 0x89, 0x8b, 0xe8, 0x0f, 0x83, 0x85, 0x74,
                                      0x75, 0xc3, 0x55, 0x5d, 0x41, 0x31, 0xff, 0x8d,
                                      0xeb, 0xc7, 0x39, 0x3b, 0x01, 0x29, 0x84, 0x44};
    static const uint8_t modrm[] = {0x45, 0x44, 0x24, 0x05, 0xc0, 0xc7,
                                    0xe5, 0x7d, 0x75, 0x4d, 0x55, 0xd8};
    bytes out;
    out.reserve(size + 64);
    uint64_t address = 0x401000;
    while (out.size() < size) {
        uint32_t section = r.below(100);
        if (section < 75) {  // a function's worth of code
            uint32_t n = 20 + r.below(200);
            for (uint32_t i = 0; i < n; i++) {
                uint8_t op = opcodes[static_cast<uint32_t>(r.unit() * r.unit() * sizeof opcodes)];
                out.push_back(op);
                if (op == 0xe8) {  // call rel32 to somewhere nearby
                    int32_t rel = static_cast<int32_t>(r.below(0x20000)) - 0x10000;
                    for (int b = 0; b < 4; b++)
                        out.push_back(static_cast<uint8_t>(rel >> (8 * b)));
                } else {
                    out.push_back(modrm[r.below(sizeof modrm)]);
                    if (r.below(3) == 0)
                        out.push_back(static_cast<uint8_t>(r.below(4) * 8));
                }
            }
            while (out.size() % 16 != 0)  // alignment padding
                out.push_back(0xcc);
        } else if (section < 85) {  // string table
            uint32_t n = 5 + r.below(30);
            for (uint32_t i = 0; i < n; i++) {
                std::string s = std::string(common_words[r.below(word_count)]) + "_" +
                                common_words[r.below(word_count)];
                out.insert(out.end(), s.begin(), s.end());
                out.push_back(0);
            }
        } else if (section < 95) {  // pointer table
            uint32_t n = 4 + r.below(60);
            for (uint32_t i = 0; i < n; i++) {
                uint64_t p = address + r.below(0x100000) * 8;
                for (int b = 0; b < 8; b++)
                    out.push_back(static_cast<uint8_t>(p >> (8 * b)));
            }
        } else {  // zero padding
            out.insert(out.end(), 64 + r.below(2048), 0);
        }
        address += 0x100;
    }
    out.resize(size);
    return out;
}

bytes make_image(size_t size)
{
    rng r{3};
    const size_t width = 4096;
    bytes out(size);
    for (size_t i = 0; i < size; i++) {
        double x = static_cast<double>(i % width), y = static_cast<double>(i / width);
        double v =
            128 + 60 * std::sin(x / 50.0) * std::cos(y / 90.0) + 40 * std::cos((x + y) / 130.0);
        int noise = static_cast<int>(r.below(7)) - 3;
        int value = static_cast<int>(v) + noise;
        out[i] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
    }
    return out;
}

bytes make_runs(size_t size)
{
    rng r{4};
    bytes out;
    out.reserve(size);
    while (out.size() < size) {
        size_t length = 4096 + static_cast<size_t>(r.unit() * r.unit() * ((1 << 20) - 4096));
        out.insert(out.end(), length, static_cast<uint8_t>(r.below(256)));
    }
    out.resize(size);
    return out;
}

bytes make_random(size_t size)
{
    rng r{5};
    bytes out(size);
    for (size_t i = 0; i < size; i += 8) {
        uint64_t v = r.next();
        for (size_t b = 0; b < 8 && i + b < size; b++)
            out[i + b] = static_cast<uint8_t>(v >> (8 * b));
    }
    return out;
}

std::vector<corpus_file> make_corpus(size_t size)
{
    return {{"text", make_text(size)},
            {"binary", make_binary(size)},
            {"image", make_image(size)},
            {"runs", make_runs(size)},
            {"random", make_random(size)}};
}

bytes make_deepest_code_file(size_t min_output, size_t *restored_size)
{
    bytes out;
    uint64_t acc = 0;
    int bits = 0;
    auto put = [&](uint32_t code, int width) {
        acc = (acc << width) | code;
        bits += width;
        while (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>(acc >> bits));
        }
    };
    // One generation restores 1 + 2 + ... + 3839 bytes of 97.
    const size_t per_generation = 3839ull * 3840 / 2;
    size_t restored = 0;
    int width = 9;
    do {
        put(256, width);
        width = 9;
        put(97, width);
        for (uint32_t code = 258; code <= 4095; code++) {
            put(code, width);
            uint32_t next_free = code + 1;  // after this code's entry
            if ((1u << width) == next_free + 1)
                width++;
        }
        restored += per_generation;
    } while (restored < min_output);
    put(257, width);
    if (bits > 0)
        out.push_back(static_cast<uint8_t>(acc << (8 - bits)));
    *restored_size = restored;
    return out;
}
