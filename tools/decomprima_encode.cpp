/*
 * decomprima-encode INPUT CODE_FILE: writes a code file that decomprima
 * restores to exactly INPUT. Streams the input in blocks, so inputs of any
 * size (pipes included) take constant memory.
 */
#include "lzw_encoder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int exit_input_error = 1;
constexpr int exit_output_error = 2;
constexpr int exit_usage = 64;

const char usage[] =
    "Usage: decomprima-encode INPUT CODE_FILE\n"
    "Writes CODE_FILE, an LZW code file that decomprima restores to exactly INPUT.\n"
    "\n"
    "Exit status: 0 written, 1 INPUT could not be read, 2 CODE_FILE could not be\n"
    "created or written, 64 wrong usage.\n";

int fail(int status, const char *what, const char *path, int error)
{
    std::fprintf(stderr, "decomprima-encode: %s '%s': %s\n", what, path, std::strerror(error));
    return status;
}

int write_errno;  // why the first failed write failed

bool write_block(void *context, const uint8_t *data, size_t size)
{
    if (std::fwrite(data, 1, size, static_cast<FILE *>(context)) == size)
        return true;
    write_errno = errno;
    return false;
}

/* Opening CODE_FILE with "wb" would empty INPUT if both name one file. */
bool same_file(FILE *input, const char *path)
{
    struct stat a, b;
    return fstat(fileno(input), &a) == 0 && stat(path, &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino && S_ISREG(a.st_mode);
}

lzw_encoder encoder;  // about 160 KiB: kept off the stack
uint8_t block[1 << 16];

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("decomprima-encode %s\n", DECOMPRIMA_VERSION);
        return 0;
    }
    if (argc != 3) {
        std::fputs(usage, stderr);
        return exit_usage;
    }
    const char *input_path = argv[1], *output_path = argv[2];

    FILE *input = std::fopen(input_path, "rb");
    if (input == nullptr)
        return fail(exit_input_error, "cannot read input", input_path, errno);
    struct stat st;
    if (fstat(fileno(input), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(input);
        return fail(exit_input_error, "cannot read input", input_path, EISDIR);
    }
    if (same_file(input, output_path)) {
        std::fclose(input);
        std::fprintf(stderr, "decomprima-encode: code file '%s' is the input file itself\n",
                     output_path);
        return exit_output_error;
    }
    FILE *output = std::fopen(output_path, "wb");
    if (output == nullptr) {
        int error = errno;
        std::fclose(input);
        return fail(exit_output_error, "cannot create code file", output_path, error);
    }

    lzw_encoder_start(&encoder, write_block, output);
    bool written = true;
    size_t n;
    while (written && (n = std::fread(block, 1, sizeof block, input)) > 0)
        written = lzw_encoder_feed(&encoder, block, n);
    if (std::ferror(input)) {
        int error = errno;
        std::fclose(input);
        std::fclose(output);
        return fail(exit_input_error, "cannot read input", input_path, error);
    }
    std::fclose(input);
    written = lzw_encoder_finish(&encoder) && written;
    if (std::fclose(output) != 0 && written) {
        written = false;
        write_errno = errno;
    }
    if (!written)
        return fail(exit_output_error, "cannot write code file", output_path,
                    write_errno ? write_errno : EIO);
    return 0;
}
