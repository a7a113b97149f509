// Arbitrary bytes through the encoder, fed in pieces whose size the first
// byte chooses, and back through the decoder: they must come back equal.
#include "fuzz_support.h"
#include "lzw_encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool append_to(void *context, const uint8_t *data, size_t size)
{
    static_cast<std::string *>(context)->append(reinterpret_cast<const char *>(data), size);
    return true;
}

lzw_encoder encoder;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    size_t piece = 1 << 16;
    if (size > 0) {
        piece = 1 + data[0] % 64;
        data++;
        size--;
    }
    std::string code_file;
    lzw_encoder_start(&encoder, append_to, &code_file);
    for (size_t at = 0; at < size; at += piece)
        lzw_encoder_feed(&encoder, data + at, std::min(piece, size - at));
    lzw_encoder_finish(&encoder);

    decode_outcome got =
        decode_in_memory(reinterpret_cast<const uint8_t *>(code_file.data()), code_file.size());
    if (got.status != 0 || got.restored.size() != size ||
        !std::equal(got.restored.begin(), got.restored.end(),
                    reinterpret_cast<const char *>(data))) {
        std::fprintf(stderr, "round trip failed: status %d, %zu bytes back of %zu\n", got.status,
                     got.restored.size(), size);
        std::abort();
    }
    return 0;
}
