// Runs the in-process decoder on bytes held in memory: the code file and
// the restored file are memfds, named to decomprima() by their
// /proc/self/fd paths, and a fatal stop comes back as its status instead
// of ending the process.
#ifndef DECOMPRIMA_FUZZ_SUPPORT_H
#define DECOMPRIMA_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

struct decode_outcome {
    int status;  // decomprima()'s result (0, 1, 2), or 3, 4, 5 for a fatal stop
    std::string restored;
};

decode_outcome decode_in_memory(const uint8_t *data, size_t size);

#endif
