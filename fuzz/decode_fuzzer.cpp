// Arbitrary bytes as a code file. Every decode must end (end code or a
// fatal stop 4 or 5), never crash, hang or leak, and restore exactly what
// the plain model decoder restores, with the same outcome.
#include "fuzz_support.h"
#include "model_decoder.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    decode_outcome got = decode_in_memory(data, size);
    model_result want = model_decode_file(data, size);
    if (got.status != want.status || got.restored != want.restored) {
        std::fprintf(stderr,
                     "decode mismatch: status %d (model %d), %zu bytes restored (model %zu)\n",
                     got.status, want.status, got.restored.size(), want.restored.size());
        std::abort();
    }
    return 0;
}
