// Test-side helpers: load the built library as a host does, run a decode
// in a child process (a fatal stop ends the process), build code files
// from lists of codes, and a small model decoder for expected output.
#ifndef DECOMPRIMA_TESTS_SUPPORT_H
#define DECOMPRIMA_TESTS_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

using bytes = std::vector<uint8_t>;

typedef int (*decomprima_fn)(char *, char *);

// decomprima() from the built shared library, loaded with dlopen().
decomprima_fn load_decomprima();
void *library_handle();

// A fresh directory per test, removed at the end of the test program.
std::string temp_dir();
std::string temp_path(const std::string &name);

bytes read_file(const std::string &path);
void write_file(const std::string &path, const bytes &content);
bool file_exists(const std::string &path);
bytes to_bytes(const std::string &text);

// How a decode in a child process ended.
struct outcome {
    bool returned;  // decomprima() returned (else the process exited inside it)
    int value;      // its result, or the exit status of the fatal stop
    std::string stderr_bytes;
};
bool operator==(const outcome &a, const outcome &b);
std::ostream &operator<<(std::ostream &os, const outcome &o);

outcome returned(int result);
outcome fatal(int status);  // with the message that status writes

// Calls decomprima(code, restored) in a forked child; stderr is captured
// byte for byte.
outcome decode_in_child(const char *code_path, const char *restored_path);

// Writes content to a code file, decodes it in a child, and reads back the
// restored file.
struct decode_result {
    outcome how;
    bytes restored;
};
decode_result decode_bytes(const bytes &code_file);

// Runs a program with arguments, capturing its exit status and stderr.
struct run_result {
    int status;  // exit status, or 128 + signal
    std::string stdout_bytes;
    std::string stderr_bytes;
};
run_result run_program(const std::vector<std::string> &argv);

// Packs codes most significant bit first, each at the width given.
class code_writer {
public:
    void put(uint32_t code, int width);
    bytes finish(bool fill_with_ones = false);

private:
    bytes out_;
    uint64_t acc_ = 0;
    int bits_ = 0;
};

// Packs codes at the widths the decoder reads them: 9 after each
// initialization code, one more as the next free code reaches 511, 1023,
// 2047 and 4095. code_end_bits, if given, receives the bit offset where
// each code ends.
bytes pack_codes(const std::vector<uint32_t> &codes, std::vector<size_t> *code_end_bits = nullptr);

// Expected restored bytes of a well-formed code list, from a plain table
// of strings.
bytes model_decode(const std::vector<uint32_t> &codes);

// 256, 97, 258, 259, ..., 4095, 257: every entry extends the one before.
std::vector<uint32_t> deepest_codes();

#endif
