// A deliberately plain decoder used as the fuzzers' oracle: strings kept
// whole in a table, bits taken one at a time. It restores a code file with
// the same rules as the library, in memory, so that every byte and every
// outcome of the library can be compared with it.
#ifndef DECOMPRIMA_FUZZ_MODEL_DECODER_H
#define DECOMPRIMA_FUZZ_MODEL_DECODER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct model_result {
    int status;  // 0 restored, 4 invalid code file, 5 dictionary overflow
    std::string restored;
};

inline model_result model_decode_file(const uint8_t *data, size_t size)
{
    model_result r{0, {}};
    if (size == 0)
        return r;
    size_t bit = 0;
    unsigned width = 9;
    auto read_code = [&] {
        uint32_t code = 0;
        for (unsigned k = 0; k < width; k++, bit++) {
            size_t byte = bit / 8;
            unsigned value = byte < size ? data[byte] : 0xFF;  // past the end: 1 bits
            code = (code << 1) | ((value >> (7 - bit % 8)) & 1);
        }
        return code;
    };
    std::vector<std::string> table(4096);
    uint32_t next_free = 258;
    bool generation_empty = true;
    std::string previous;

    if (read_code() != 256) {
        r.status = 4;
        return r;
    }
    for (;;) {
        uint32_t code = read_code();
        if (code == 257)
            return r;
        if (code == 256) {
            width = 9;
            next_free = 258;
            generation_empty = true;
            continue;
        }
        if (generation_empty) {
            if (code > 257) {  // a generation opens with a literal
                r.status = 4;
                return r;
            }
            previous = std::string(1, static_cast<char>(code));
            r.restored += previous;
            generation_empty = false;
            continue;
        }
        if (code > next_free) {
            r.status = 4;
            return r;
        }
        if (next_free == 4096) {
            r.status = 5;
            return r;
        }
        std::string s = code < 256         ? std::string(1, static_cast<char>(code))
                        : code < next_free ? table[code]
                                           : previous + previous[0];
        r.restored += s;
        table[next_free++] = previous + s[0];
        if ((1u << width) == next_free + 1)
            width++;
        previous = s;
    }
}

#endif
