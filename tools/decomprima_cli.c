/*
 * decomprima CODE_FILE RESTORED_FILE: command-line host of the library.
 * Exits with the library's result (0, 1 or 2); an invalid code file ends
 * the process inside the library with status 3, 4 or 5 and its own
 * message.
 */
#include "decomprima.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#define EXIT_USAGE 64

static const char usage[] =
    "Usage: decomprima CODE_FILE RESTORED_FILE\n"
    "Restores RESTORED_FILE from the LZW code file CODE_FILE.\n"
    "\n"
    "Exit status:\n"
    "  0  restored\n"
    "  1  the code file could not be opened or read\n"
    "  2  the restored file could not be created or written completely\n"
    "  3  out of memory for the dictionary\n"
    "  4  invalid code file (\"Fichier de codes invalide!\")\n"
    "  5  dictionary overflow (\"Depassement de capacite du dictionary!\")\n"
    " 64  wrong usage\n";

static void report(const char *what, const char *path, int error)
{
    if (error != 0)
        fprintf(stderr, "decomprima: %s '%s': %s\n", what, path, strerror(error));
    else
        fprintf(stderr, "decomprima: %s '%s'\n", what, path);
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        fputs(usage, stdout);
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        printf("decomprima %s\n", DECOMPRIMA_VERSION);
        return 0;
    }
    if (argc != 3) {
        fputs(usage, stderr);
        return EXIT_USAGE;
    }

    errno = 0;
    int result = decomprima(argv[1], argv[2]);
    int error = errno;
    if (result == 1)
        report("cannot read code file", argv[1], error);
    else if (result == 2)
        report("cannot create or write restored file", argv[2], error);
    return result;
}
